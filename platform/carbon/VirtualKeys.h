#pragma once

// What the virtual key codes of the US layout stand for, in terms every hot-key backend turns into
// its own: the character the key types, and the combination a desktop's shortcut service keeps.
#include "platform/carbon/CarbonEvents.h"

#include <cstdint>
#include <optional>

namespace platform::carbon {

// Keys that type no printable character, by the control character they send.
constexpr char32_t kBackspaceKey = 0x08, kTabKey = 0x09, kReturnKey = 0x0D, kEscapeKey = 0x1B;

// The character a virtual key code types unshifted (letters lower case) or one of the keys above;
// 0 for a code not in the table (letters, digits, punctuation, space, return, tab, delete and
// escape are there).
char32_t CharacterForVirtualKey(UInt32 virtualKeyCode);

// The combination as desktop shortcut services keep it: the toolkit's key code (upper-case letters,
// named keys from 0x01000000) with its modifier bits (Shift 0x02000000, Control 0x04000000, Alt
// 0x08000000, Meta, the Super key, 0x10000000). Nothing for a key not in the table or modifier
// bits other than Command, Shift, Option and Control.
std::optional<uint32_t> ShortcutKeyCode(UInt32 virtualKeyCode, UInt32 hotKeyModifiers);

} // namespace platform::carbon
