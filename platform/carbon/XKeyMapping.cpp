#include "platform/carbon/XKeyMapping.h"
#include "platform/carbon/VirtualKeys.h"

#include <X11/keysym.h>

namespace platform::carbon::x11 {
namespace {

bool RowHolds(const std::vector<uint32_t>& row, uint32_t a, uint32_t b) {
    for (uint32_t keysym : row)
        if (keysym == a || keysym == b) return true;
    return false;
}

} // namespace

uint32_t KeysymForVirtualKey(UInt32 code) {
    // Printable Latin-1 characters are their own key symbols; the named keys sit at 0xFF00 plus
    // their control character (XK_BackSpace, XK_Tab, XK_Return, XK_Escape).
    const char32_t c = CharacterForVirtualKey(code);
    return c >= 0x20 || !c ? uint32_t(c) : 0xFF00 | c;
}

ModifierRoles RolesFromModifierKeysyms(const std::array<std::vector<uint32_t>, 8>& rows) {
    ModifierRoles roles;
    uint16_t command = 0, option = 0;
    for (int row = 3; row < 8; ++row) { // Mod1 .. Mod5
        const uint16_t bit = uint16_t(1 << row);
        if (!command && RowHolds(rows[row], XK_Super_L, XK_Super_R)) command = bit;
        if (!option && RowHolds(rows[row], XK_Alt_L, XK_Alt_R)) option = bit;
    }
    if (command) roles.command = command;
    if (option) roles.option = option;
    roles.locks = kLockMask;
    for (int row = 3; row < 8; ++row) {
        const uint16_t bit = uint16_t(1 << row);
        if (!rows[row].empty() && bit != roles.command && bit != roles.option) roles.locks |= bit;
    }
    return roles;
}

std::optional<uint16_t> XModifiers(UInt32 modifiers, const ModifierRoles& roles) {
    if (modifiers & ~(cmdKey | shiftKey | optionKey | controlKey)) return std::nullopt;
    uint16_t mask = 0;
    if (modifiers & cmdKey) mask |= roles.command;
    if (modifiers & shiftKey) mask |= kShiftMask;
    if (modifiers & optionKey) mask |= roles.option;
    if (modifiers & controlKey) mask |= kControlMask;
    return mask;
}

std::vector<uint16_t> LockCombinations(uint16_t locks) {
    // Counting through the subsets of the lock bits: (s - locks) & locks steps to the next one.
    std::vector<uint16_t> combinations{0};
    for (uint16_t s = uint16_t((0 - locks) & locks); s; s = uint16_t((s - locks) & locks))
        combinations.push_back(s);
    return combinations;
}

} // namespace platform::carbon::x11
