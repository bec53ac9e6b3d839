#include "platform/carbon/VirtualKeys.h"

namespace platform::carbon {
namespace {

struct VirtualKey {
    UInt32 code;
    char32_t character;
};

// The virtual key codes of the US keyboard layout.
constexpr VirtualKey kVirtualKeys[] = {
    {0x00, 'a'},           {0x01, 's'},        {0x02, 'd'},     {0x03, 'f'},  {0x04, 'h'},
    {0x05, 'g'},           {0x06, 'z'},        {0x07, 'x'},     {0x08, 'c'},  {0x09, 'v'},
    {0x0B, 'b'},           {0x0C, 'q'},        {0x0D, 'w'},     {0x0E, 'e'},  {0x0F, 'r'},
    {0x10, 'y'},           {0x11, 't'},        {0x12, '1'},     {0x13, '2'},  {0x14, '3'},
    {0x15, '4'},           {0x16, '6'},        {0x17, '5'},     {0x18, '='},  {0x19, '9'},
    {0x1A, '7'},           {0x1B, '-'},        {0x1C, '8'},     {0x1D, '0'},  {0x1E, ']'},
    {0x1F, 'o'},           {0x20, 'u'},        {0x21, '['},     {0x22, 'i'},  {0x23, 'p'},
    {0x24, kReturnKey},    {0x25, 'l'},        {0x26, 'j'},     {0x27, '\''}, {0x28, 'k'},
    {0x29, ';'},           {0x2A, '\\'},       {0x2B, ','},     {0x2C, '/'},  {0x2D, 'n'},
    {0x2E, 'm'},           {0x2F, '.'},        {0x30, kTabKey}, {0x31, ' '},  {0x32, '`'},
    {0x33, kBackspaceKey}, {0x35, kEscapeKey},
};

} // namespace

char32_t CharacterForVirtualKey(UInt32 code) {
    for (const VirtualKey& key : kVirtualKeys)
        if (key.code == code) return key.character;
    return 0;
}

std::optional<uint32_t> ShortcutKeyCode(UInt32 virtualKeyCode, UInt32 modifiers) {
    const char32_t c = CharacterForVirtualKey(virtualKeyCode);
    if (!c || modifiers & ~(cmdKey | shiftKey | optionKey | controlKey)) return std::nullopt;
    uint32_t code = c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
    switch (c) {
    case kEscapeKey:
        code = 0x01000000;
        break;
    case kTabKey:
        code = 0x01000001;
        break;
    case kBackspaceKey:
        code = 0x01000003;
        break;
    case kReturnKey:
        code = 0x01000004;
        break;
    }
    if (modifiers & shiftKey) code |= 0x02000000;
    if (modifiers & controlKey) code |= 0x04000000;
    if (modifiers & optionKey) code |= 0x08000000;
    if (modifiers & cmdKey) code |= 0x10000000;
    return code;
}

} // namespace platform::carbon
