#include "platform/carbon/CarbonEvents.h"
#include "platform/carbon/XKeyMapping.h"

#include <X11/keysym.h>
#include <algorithm>
#include <gtest/gtest.h>
#include <set>
#include <string>

using namespace platform::carbon;
using namespace platform::carbon::x11;

namespace {

TEST(HotKeyMapping, VirtualKeysOfTheUSLayout) {
    struct Case {
        UInt32 code;
        uint32_t keysym;
    } cases[] = {
        {5, XK_g},         {8, XK_c},        {0x00, XK_a},      {0x06, XK_z},
        {0x10, XK_y},      {0x12, XK_1},     {0x17, XK_5},      {0x16, XK_6},
        {0x1D, XK_0},      {0x31, XK_space}, {0x24, XK_Return}, {0x2C, XK_slash},
        {0x35, XK_Escape}, {0x0A, 0},        {0x34, 0},         {0x7A, 0}, // F1 is not in the table
    };
    for (const Case& c : cases)
        EXPECT_EQ(KeysymForVirtualKey(c.code), c.keysym) << c.code;
    // Every letter and digit has exactly one code.
    std::set<uint32_t> found;
    for (UInt32 code = 0; code < 0x80; ++code) {
        const uint32_t k = KeysymForVirtualKey(code);
        if ((k >= XK_a && k <= XK_z) || (k >= XK_0 && k <= XK_9)) {
            EXPECT_TRUE(found.insert(k).second) << code;
        }
    }
    EXPECT_EQ(found.size(), 36u);
}

TEST(HotKeyMapping, ModifierBits) {
    const ModifierRoles roles; // Super on Mod4, Alt on Mod1
    struct Case {
        UInt32 modifiers;
        int mask; // -1: refused
    } cases[] = {
        {0x1900, kMod4Mask | kMod1Mask | kControlMask},  // Command + Option + Control
        {0x1A00, kControlMask | kShiftMask | kMod1Mask}, // Control + Shift + Option
        {cmdKey, kMod4Mask},
        {0, 0},
        {alphaLock | cmdKey, -1},
        {0x0001, -1},
    };
    for (const Case& c : cases) {
        const std::optional<uint16_t> mask = XModifiers(c.modifiers, roles);
        EXPECT_EQ(mask ? int(*mask) : -1, c.mask) << c.modifiers;
    }
    const ModifierRoles moved{kMod3Mask, kMod5Mask, kLockMask};
    EXPECT_EQ(XModifiers(0x1900, moved), kMod3Mask | kMod5Mask | kControlMask);
}

TEST(HotKeyMapping, RolesAndLocksComeFromTheModifierMapping) {
    using Rows = std::array<std::vector<uint32_t>, 8>;
    struct Case {
        const char* name;
        Rows rows;
        ModifierRoles roles;
    } cases[] = {
        {"usual",
         {{{XK_Shift_L, XK_Shift_R},
           {XK_Caps_Lock},
           {XK_Control_L},
           {XK_Alt_L, XK_Meta_L},
           {XK_Num_Lock},
           {},
           {XK_Super_L, XK_Super_R, XK_Hyper_L},
           {XK_ISO_Level3_Shift}}},
         {kMod4Mask, kMod1Mask, kLockMask | kMod2Mask | kMod5Mask}},
        {"moved",
         {{{XK_Shift_L},
           {XK_Caps_Lock},
           {XK_Control_L},
           {XK_Num_Lock},
           {XK_Alt_R},
           {XK_Super_R},
           {},
           {XK_Scroll_Lock}}},
         {kMod3Mask, kMod2Mask, kLockMask | kMod1Mask | kMod5Mask}},
        {"empty", {}, {kMod4Mask, kMod1Mask, kLockMask}},
    };
    for (const Case& c : cases) {
        const ModifierRoles roles = RolesFromModifierKeysyms(c.rows);
        EXPECT_EQ(roles.command, c.roles.command) << c.name;
        EXPECT_EQ(roles.option, c.roles.option) << c.name;
        EXPECT_EQ(roles.locks, c.roles.locks) << c.name;
    }
}

TEST(HotKeyMapping, EveryLockCombinationOnce) {
    const std::vector<uint16_t> all = LockCombinations(kLockMask | kMod2Mask | kMod5Mask);
    ASSERT_EQ(all.size(), 8u);
    EXPECT_EQ(all[0], 0);
    EXPECT_EQ(std::set<uint16_t>(all.begin(), all.end()).size(), 8u);
    for (uint16_t c : all)
        EXPECT_EQ(c & ~(kLockMask | kMod2Mask | kMod5Mask), 0);
    EXPECT_EQ(LockCombinations(0), std::vector<uint16_t>{0});
}

// Handler chains: each handler notes its name, then passes on or answers.
struct Trace {
    std::string calls;
    EventHandlerRef toRemove = nullptr;
};

template <char Name, bool PassOn, OSStatus Answer = noErr>
OSStatus Handler(EventHandlerCallRef next, EventRef event, void* data) {
    auto* trace = static_cast<Trace*>(data);
    trace->calls += Name;
    if (trace->toRemove) {
        RemoveEventHandler(trace->toRemove);
        trace->toRemove = nullptr;
    }
    return PassOn ? CallNextEventHandler(next, event) : Answer;
}

class HandlerChain : public ::testing::Test {
protected:
    EventHandlerRef Install(EventHandlerUPP handler, UInt32 kind) {
        const EventTypeSpec type{kEventClassKeyboard, kind};
        EventHandlerRef ref = nullptr;
        EXPECT_EQ(
            InstallEventHandler(GetApplicationEventTarget(), handler, 1, &type, &mTrace, &ref),
            noErr);
        mInstalled.push_back(ref);
        return ref;
    }
    OSStatus Send(UInt32 kind) {
        EventRef event = nullptr;
        EXPECT_EQ(CreateEvent(nullptr, kEventClassKeyboard, kind, 0, 0, &event), noErr);
        const OSStatus status = SendEventToEventTarget(event, GetApplicationEventTarget());
        ReleaseEvent(event);
        return status;
    }
    void TearDown() override {
        for (EventHandlerRef ref : mInstalled)
            RemoveEventHandler(ref);
    }
    Trace mTrace;
    std::vector<EventHandlerRef> mInstalled;
};

TEST_F(HandlerChain, NewestHandlerFirstEachPassingOn) {
    Install(Handler<'a', false, 7>, kEventHotKeyPressed);
    Install(Handler<'r', true>, kEventHotKeyReleased);
    Install(Handler<'b', true>, kEventHotKeyPressed);
    Install(Handler<'c', true>, kEventHotKeyPressed);
    EXPECT_EQ(Send(kEventHotKeyPressed), 7);
    EXPECT_EQ(mTrace.calls, "cba");
    mTrace.calls.clear();
    EXPECT_EQ(Send(kEventHotKeyReleased), eventNotHandledErr); // the last passes on to nobody
    EXPECT_EQ(mTrace.calls, "r");
    mTrace.calls.clear();
    EXPECT_EQ(Send(99), eventNotHandledErr);
    EXPECT_EQ(mTrace.calls, "");
}

TEST_F(HandlerChain, AHandlerRemovedDuringTheEventIsSkipped) {
    EventHandlerRef oldest = Install(Handler<'a', false>, kEventHotKeyPressed);
    Install(Handler<'b', true>, kEventHotKeyPressed);
    mTrace.toRemove = oldest;
    EXPECT_EQ(Send(kEventHotKeyPressed), eventNotHandledErr);
    EXPECT_EQ(mTrace.calls, "b");
    EXPECT_EQ(RemoveEventHandler(oldest), paramErr);
    mInstalled.erase(mInstalled.begin());
    EXPECT_EQ(CallNextEventHandler(nullptr, nullptr), paramErr);
}

TEST(EventParameters, TheHotKeyIdentifierByNameAndType) {
    EventRef event = nullptr;
    ASSERT_EQ(CreateEvent(nullptr, kEventClassKeyboard, kEventHotKeyPressed, 0, 0, &event), noErr);
    const EventHotKeyID id{FourCharCode("CmdG"), 1};
    ASSERT_EQ(SetEventParameter(event, kEventParamDirectObject, typeEventHotKeyID, sizeof id, &id),
              noErr);
    EventHotKeyID out{};
    ByteCount size = 0;
    EventParamType type = 0;
    EXPECT_EQ(GetEventParameter(event, kEventParamDirectObject, typeEventHotKeyID, &type,
                                sizeof out, &size, &out),
              noErr);
    EXPECT_EQ(out.signature, FourCharCode("CmdG"));
    EXPECT_EQ(out.id, 1u);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(type, typeEventHotKeyID);
    EXPECT_EQ(GetEventParameter(event, kEventParamDirectObject, FourCharCode("long"), nullptr,
                                sizeof out, nullptr, &out),
              eventParameterNotFoundErr);
    EXPECT_EQ(GetEventParameter(event, kEventParamDirectObject, typeEventHotKeyID, nullptr, 4,
                                nullptr, &out),
              paramErr);
    EXPECT_EQ(GetEventClass(event), kEventClassKeyboard);
    EXPECT_EQ(GetEventKind(event), kEventHotKeyPressed);
    ReleaseEvent(event);
}

} // namespace
