#pragma once

// How hot keys map onto X: virtual key codes of the US layout to key symbols, hot-key modifier
// bits to X modifier masks, and the lock modifiers a grab must be repeated under.
#include "platform/carbon/CarbonEvents.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace platform::carbon::x11 {

// X modifier masks (the core protocol's bit order).
constexpr uint16_t kShiftMask = 1 << 0, kLockMask = 1 << 1, kControlMask = 1 << 2,
                   kMod1Mask = 1 << 3, kMod2Mask = 1 << 4, kMod3Mask = 1 << 5, kMod4Mask = 1 << 6,
                   kMod5Mask = 1 << 7;
constexpr uint16_t kAllModifiersMask = 0xFF;

// The key symbol of a virtual key code, or 0 for a code not in the table (letters, digits,
// punctuation, space, return, tab, delete and escape are there).
uint32_t KeysymForVirtualKey(UInt32 virtualKeyCode);

// Which X modifier bits stand for Command and Option, and which bits are locks (or other
// modifiers no hot key uses) that a press may carry on top of its own.
struct ModifierRoles {
    uint16_t command = kMod4Mask;
    uint16_t option = kMod1Mask;
    uint16_t locks = kLockMask | kMod2Mask;
};

// From the server's modifier mapping, as the key symbols on each of its eight rows (Shift,
// Lock, Control, Mod1 .. Mod5): Command is the row of Super, Option the row of Alt (Mod4 and Mod1
// when the keymap has none), and the locks are Lock and every other Mod row that holds a key.
ModifierRoles RolesFromModifierKeysyms(const std::array<std::vector<uint32_t>, 8>& rows);

// The X mask of hot-key modifier bits; nothing when bits other than Command, Shift, Option and
// Control are set.
std::optional<uint16_t> XModifiers(UInt32 hotKeyModifiers, const ModifierRoles& roles);

// Every combination of the lock bits, starting with none.
std::vector<uint16_t> LockCombinations(uint16_t locks);

} // namespace platform::carbon::x11
