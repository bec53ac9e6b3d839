#include "platform/carbon/XKeyMapping.h"

#include <X11/keysym.h>

namespace platform::carbon::x11 {
namespace {

struct VirtualKey {
    UInt32 code;
    uint32_t keysym;
};

// The virtual key codes of the US keyboard layout.
constexpr VirtualKey kVirtualKeys[] = {
    {0x00, XK_a},      {0x01, XK_s},         {0x02, XK_d},
    {0x03, XK_f},      {0x04, XK_h},         {0x05, XK_g},
    {0x06, XK_z},      {0x07, XK_x},         {0x08, XK_c},
    {0x09, XK_v},      {0x0B, XK_b},         {0x0C, XK_q},
    {0x0D, XK_w},      {0x0E, XK_e},         {0x0F, XK_r},
    {0x10, XK_y},      {0x11, XK_t},         {0x12, XK_1},
    {0x13, XK_2},      {0x14, XK_3},         {0x15, XK_4},
    {0x16, XK_6},      {0x17, XK_5},         {0x18, XK_equal},
    {0x19, XK_9},      {0x1A, XK_7},         {0x1B, XK_minus},
    {0x1C, XK_8},      {0x1D, XK_0},         {0x1E, XK_bracketright},
    {0x1F, XK_o},      {0x20, XK_u},         {0x21, XK_bracketleft},
    {0x22, XK_i},      {0x23, XK_p},         {0x24, XK_Return},
    {0x25, XK_l},      {0x26, XK_j},         {0x27, XK_apostrophe},
    {0x28, XK_k},      {0x29, XK_semicolon}, {0x2A, XK_backslash},
    {0x2B, XK_comma},  {0x2C, XK_slash},     {0x2D, XK_n},
    {0x2E, XK_m},      {0x2F, XK_period},    {0x30, XK_Tab},
    {0x31, XK_space},  {0x32, XK_grave},     {0x33, XK_BackSpace},
    {0x35, XK_Escape},
};

bool RowHolds(const std::vector<uint32_t>& row, uint32_t a, uint32_t b) {
    for (uint32_t keysym : row)
        if (keysym == a || keysym == b) return true;
    return false;
}

} // namespace

uint32_t KeysymForVirtualKey(UInt32 code) {
    for (const VirtualKey& key : kVirtualKeys)
        if (key.code == code) return key.keysym;
    return 0;
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
