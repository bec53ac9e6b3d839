#include "platform/carbon/CarbonEvents.h"
#include "platform/carbon/VirtualKeys.h"
#include "platform/carbon/XKeyMapping.h"
#include "tests/support/TestSupport.h"

#include <X11/keysym.h>
#include <algorithm>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <tuple>

using namespace platform::carbon;
using namespace platform::carbon::x11;

namespace {

// A virtual key with modifiers: its key symbol on X, and the combination desktop shortcut
// services keep for it.
TEST(HotKeyMapping, VirtualKeysOfTheUSLayoutAsKeysymsAndShortcutCombinations) {
    // clang-format off
    const struct {
        UInt32 code, modifiers;
        uint32_t keysym;
        std::optional<uint32_t> combination;
    } cases[] = {{5, cmdKey | optionKey | controlKey, XK_g, 0x1C000047}, // Meta+Alt+Ctrl+G
                 {8, controlKey | shiftKey | optionKey, XK_c, 0x0E000043},
                 {0x12, shiftKey, XK_1, 0x02000031}, {0x00, 0, XK_a, 'A'}, {0x10, 0, XK_y, 'Y'},
                 {0x17, 0, XK_5, '5'}, {0x2A, 0, XK_backslash, '\\'}, {0x31, 0, XK_space, ' '},
                 {0x35, 0, XK_Escape, 0x01000000}, {0x30, 0, XK_Tab, 0x01000001},
                 {0x33, 0, XK_BackSpace, 0x01000003}, {0x24, cmdKey, XK_Return, 0x11000004},
                 {0x34, 0, 0, std::nullopt}, {5, cmdKey | alphaLock, XK_g, std::nullopt}};
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(KeysymForVirtualKey(c.code), c.keysym) << c.code;
        EXPECT_EQ(ShortcutKeyCode(c.code, c.modifiers), c.combination) << c.code;
    }
    std::set<uint32_t> lettersAndDigits; // each reached by exactly one code
    for (UInt32 code = 0; code < 0x80; ++code)
        if (uint32_t k = KeysymForVirtualKey(code);
            (k >= XK_a && k <= XK_z) || (k >= XK_0 && k <= XK_9))
            lettersAndDigits.insert(k);
    EXPECT_EQ(lettersAndDigits.size(), 36u);
}

TEST(HotKeyMapping, ModifiersRolesAndLocks) {
    using Rows = std::array<std::vector<uint32_t>, 8>; // Shift, Lock, Control, Mod1 .. Mod5
    // A modifier map; the X modifiers of Command+Option+Control and of Control+Shift+Option, and
    // its locks.
    // clang-format off
    const std::tuple<Rows, int, int, int> cases[] = {
        {{{{XK_Shift_L}, {XK_Caps_Lock}, {XK_Control_L}, {XK_Alt_L, XK_Meta_L}, {XK_Num_Lock}, {},
           {XK_Super_L, XK_Hyper_L}, {XK_ISO_Level3_Shift}}},
         kMod4Mask | kMod1Mask | kControlMask, kControlMask | kShiftMask | kMod1Mask,
         kLockMask | kMod2Mask | kMod5Mask},
        {{{{}, {XK_Caps_Lock}, {}, {XK_Num_Lock}, {XK_Alt_R}, {XK_Super_R}, {}, {XK_Scroll_Lock}}},
         kMod3Mask | kMod2Mask | kControlMask, kControlMask | kShiftMask | kMod2Mask,
         kLockMask | kMod1Mask | kMod5Mask},
    };
    // clang-format on
    for (const auto& [rows, commandOptionControl, controlShiftOption, locks] : cases) {
        const ModifierRoles roles = RolesFromModifierKeysyms(rows);
        EXPECT_EQ(XModifiers(0x1900, roles), commandOptionControl);
        EXPECT_EQ(XModifiers(0x1A00, roles), controlShiftOption);
        EXPECT_EQ(roles.locks, locks);
        EXPECT_FALSE(XModifiers(cmdKey | alphaLock, roles));
        // Every subset of the locks, each once.
        const std::vector<uint16_t> all = LockCombinations(roles.locks);
        const std::set<uint16_t> distinct(all.begin(), all.end());
        EXPECT_TRUE(all.size() == distinct.size() &&
                    all.size() == size_t(1) << __builtin_popcount(locks) &&
                    std::all_of(all.begin(), all.end(), [&](uint16_t c) { return !(c & ~locks); }));
    }
}

// A handler that notes its name, may remove another handler, and passes on or answers 7.
struct Trace {
    std::string calls;
    EventHandlerRef toRemove = nullptr;
};
template <char Name, bool PassOn>
OSStatus Note(EventHandlerCallRef next, EventRef event, void* data) {
    auto* trace = static_cast<Trace*>(data);
    trace->calls += Name;
    if (trace->toRemove) RemoveEventHandler(std::exchange(trace->toRemove, nullptr));
    return PassOn ? CallNextEventHandler(next, event) : 7;
}

TEST(HandlerChain, NewestFirstEachPassingOnAndRemovedHandlersSkipped) {
    Trace trace;
    EventRef event = nullptr;
    ASSERT_EQ(CreateEvent(nullptr, kEventClassKeyboard, kEventHotKeyPressed, 0, 0, &event), noErr);
    const EventTypeSpec pressed{kEventClassKeyboard, kEventHotKeyPressed},
        released{kEventClassKeyboard, kEventHotKeyReleased};
    const EventTargetRef app = GetApplicationEventTarget();
    EventHandlerRef a, r, b, c;
    InstallEventHandler(app, Note<'a', false>, 1, &pressed, &trace, &a);
    InstallEventHandler(app, Note<'r', true>, 1, &released, &trace, &r);
    InstallEventHandler(app, Note<'b', true>, 1, &pressed, &trace, &b);
    InstallEventHandler(app, Note<'c', true>, 1, &pressed, &trace, &c);
    EXPECT_EQ(SendEventToEventTarget(event, app), 7);
    EXPECT_EQ(trace.calls, "cba");
    trace = {"", a}; // c removes a before b passes the event on to it
    EXPECT_EQ(SendEventToEventTarget(event, app), eventNotHandledErr);
    EXPECT_EQ(trace.calls, "cb");
    for (EventHandlerRef h : {r, b, c})
        RemoveEventHandler(h);
    ReleaseEvent(event);
}

// The hot keys' connection opens once per process; this program's is to no server at all.
TEST(HotKeysWithoutAServer, FailToRegisterAndGiveNoDescriptor) {
    const testsupport::ScopedEnv display("DISPLAY", ":97");
    EventHotKeyRef ref = nullptr;
    EXPECT_EQ(RegisterEventHotKey(5, cmdKey, {1, 1}, GetApplicationEventTarget(), 0, &ref),
              eventInternalErr);
    EXPECT_EQ(ref, nullptr);
    EXPECT_EQ(HotKeyEventsDescriptor(), -1);
    DispatchPendingHotKeyEvents();
}

} // namespace
