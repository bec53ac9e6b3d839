// Hot keys on a private X server, typed by a second client with XTEST. The hot keys' connection
// is opened once per process, so the server is too; the case without a server runs first, in a
// child, before anything has opened it.
#include "platform/carbon/CarbonEvents.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XKeyboard.h"
#include "tests/support/XServer.h"

#include <X11/keysym.h>
#include <chrono>
#include <gtest/gtest.h>
#include <poll.h>

using namespace platform::carbon;
using testsupport::XKeyboard;
using testsupport::XServer;

namespace {

constexpr UInt32 kG = 5, kC = 8;
constexpr UInt32 kCommandOptionControl = cmdKey | optionKey | controlKey;
constexpr UInt32 kControlShiftOption = controlKey | shiftKey | optionKey;
// X modifier bits of Xvfb's keymap.
constexpr int kShift = 1, kLock = 2, kControl = 4, kMod1 = 8, kMod2 = 16, kMod4 = 64, kMod5 = 128;

TEST(HotKeysWithoutServer, AreRefusedAndGiveNoDescriptor) {
    testsupport::Child child([] {
        ::setenv("DISPLAY", ":none", 1);
        EventHotKeyRef ref = reinterpret_cast<EventHotKeyRef>(1);
        const OSStatus status = RegisterEventHotKey(kG, kCommandOptionControl, {1, 1},
                                                    GetApplicationEventTarget(), 0, &ref);
        DispatchPendingHotKeyEvents(); // nothing to do, and no crash
        return status == eventInternalErr && !ref && HotKeyEventsDescriptor() == -1 ? 0 : 1;
    });
    ASSERT_TRUE(child.Wait());
    EXPECT_EQ(child.exitCode, 0);
}

class HotKeys : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(XServer::Installed("Xvfb")) << "Xvfb is installed by scripts/install-deps.sh";
        sServer = XServer::Xvfb({320, 240}).release();
        ASSERT_TRUE(sServer->Running()) << sServer->Log();
        ::setenv("DISPLAY", sServer->Display().c_str(), 1);
    }
    static void TearDownTestSuite() {
        delete sServer;
        sServer = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(sServer && sServer->Running());
        ASSERT_TRUE(mKeyboard.Ok());
        const EventTypeSpec pressed{kEventClassKeyboard, kEventHotKeyPressed};
        ASSERT_EQ(InstallEventHandler(GetApplicationEventTarget(), Record, 1, &pressed, &mPresses,
                                      &mHandler),
                  noErr);
    }
    void TearDown() override {
        RemoveEventHandler(mHandler);
        for (EventHotKeyRef ref : mRegistered)
            UnregisterEventHotKey(ref);
    }

    static OSStatus Record(EventHandlerCallRef next, EventRef event, void* data) {
        EventHotKeyID id{};
        if (GetEventParameter(event, kEventParamDirectObject, typeEventHotKeyID, nullptr, sizeof id,
                              nullptr, &id) == noErr)
            static_cast<std::vector<OSType>*>(data)->push_back(id.signature);
        return CallNextEventHandler(next, event);
    }

    OSStatus Register(UInt32 key, UInt32 modifiers, const char (&signature)[5]) {
        EventHotKeyRef ref = nullptr;
        const OSStatus status = RegisterEventHotKey(key, modifiers, {FourCharCode(signature), 1},
                                                    GetApplicationEventTarget(), 0, &ref);
        if (ref) mRegistered.push_back(ref);
        return status;
    }

    // Dispatches as the application's loop would until `count` presses have arrived, then a
    // moment longer so that a second delivery, or a press that should not come, is seen too.
    void DispatchUntil(size_t count) {
        using Clock = std::chrono::steady_clock;
        auto deadline = Clock::now() + std::chrono::seconds(5);
        bool lingering = false;
        while (Clock::now() < deadline) {
            pollfd p{HotKeyEventsDescriptor(), POLLIN, 0};
            ::poll(&p, 1, 10);
            DispatchPendingHotKeyEvents();
            if (!lingering && mPresses.size() >= count) {
                lingering = true;
                deadline = Clock::now() + std::chrono::milliseconds(200);
            }
        }
    }

    static XServer* sServer;
    XKeyboard mKeyboard{sServer ? sServer->Display() : ""};
    std::vector<OSType> mPresses;
    EventHandlerRef mHandler = nullptr;
    std::vector<EventHotKeyRef> mRegistered;
};
XServer* HotKeys::sServer = nullptr;

TEST_F(HotKeys, EachPressRunsTheHandlerOnceWhateverLockIsOn) {
    ASSERT_EQ(Register(kG, kCommandOptionControl, "CmdG"), noErr);
    ASSERT_EQ(Register(kG, kControlShiftOption, "ctlG"), noErr);
    ASSERT_EQ(Register(kC, kCommandOptionControl, "CmdC"), noErr);
    ASSERT_EQ(Register(kC, kControlShiftOption, "ctlC"), noErr);
    ASSERT_GE(HotKeyEventsDescriptor(), 0);
    struct Case {
        std::vector<uint32_t> locks; // toggled on before and off after
        uint16_t lockState;
        std::vector<uint32_t> chord;
        OSType signature; // 0: no hot key
    } cases[] = {
        {{}, 0, {XK_Super_L, XK_Alt_L, XK_Control_L, XK_g}, FourCharCode("CmdG")},
        {{XK_Num_Lock}, kMod2, {XK_Control_L, XK_Shift_L, XK_Alt_L, XK_g}, FourCharCode("ctlG")},
        {{XK_Num_Lock}, kMod2, {XK_Super_L, XK_Alt_L, XK_Control_L, XK_c}, FourCharCode("CmdC")},
        {{XK_Caps_Lock}, kLock, {XK_Control_L, XK_Shift_L, XK_Alt_L, XK_c}, FourCharCode("ctlC")},
        {{XK_Num_Lock, XK_Caps_Lock},
         kMod2 | kLock,
         {XK_Super_L, XK_Alt_L, XK_Control_L, XK_g},
         FourCharCode("CmdG")},
        {{}, 0, {XK_Super_L, XK_Alt_L, XK_g}, 0},
        {{}, 0, {XK_Super_L, XK_Alt_L, XK_Control_L, XK_Shift_L, XK_g}, 0},
    };
    for (const Case& c : cases) {
        const std::string where = "chord of " + std::to_string(c.chord.size()) + " keys, locks " +
                                  std::to_string(c.lockState) + ", hot key " +
                                  std::to_string(c.signature);
        for (uint32_t lock : c.locks)
            ASSERT_TRUE(mKeyboard.Chord({lock})) << where;
        ASSERT_EQ(mKeyboard.ModifierState(), c.lockState) << where;
        mPresses.clear();
        ASSERT_TRUE(mKeyboard.Chord(c.chord)) << where;
        DispatchUntil(c.signature ? 1 : 0);
        if (c.signature)
            EXPECT_EQ(mPresses, std::vector<OSType>{c.signature}) << where;
        else
            EXPECT_TRUE(mPresses.empty()) << where;
        for (uint32_t lock : c.locks)
            ASSERT_TRUE(mKeyboard.Chord({lock})) << where;
        ASSERT_EQ(mKeyboard.ModifierState(), 0) << where;
    }
}

TEST_F(HotKeys, ACombinationHeldElsewhereFailsAndLeavesNothingGrabbed) {
    XKeyboard other(sServer->Display()), third(sServer->Display());
    const uint8_t g = mKeyboard.Keycode(XK_g);
    const uint16_t mine = kMod4 | kMod1 | kControl;
    ASSERT_TRUE(other.Grab(g, mine | kMod2)); // held only with Num Lock on
    EventHotKeyRef ref = reinterpret_cast<EventHotKeyRef>(1);
    EXPECT_EQ(RegisterEventHotKey(kG, kCommandOptionControl, {FourCharCode("CmdG"), 1},
                                  GetApplicationEventTarget(), 0, &ref),
              eventHotKeyExistsErr);
    EXPECT_EQ(ref, nullptr);
    // Every other lock combination is free again: the partial grabs were undone.
    const int locks[] = {
        0, kLock, kMod5, kLock | kMod5, kMod2 | kLock, kMod2 | kMod5, kMod2 | kLock | kMod5};
    for (int lock : locks) {
        EXPECT_TRUE(third.Grab(g, uint16_t(mine | lock))) << lock;
        third.Ungrab(g, uint16_t(mine | lock));
    }
    // Other combinations of the same key still register, and a press of the held one goes to
    // the other client, not here.
    EXPECT_EQ(Register(kG, kControlShiftOption, "ctlG"), noErr);
    ASSERT_TRUE(mKeyboard.Chord({XK_Num_Lock}));
    ASSERT_TRUE(mKeyboard.Chord({XK_Super_L, XK_Alt_L, XK_Control_L, XK_g}));
    ASSERT_TRUE(mKeyboard.Chord({XK_Control_L, XK_Shift_L, XK_Alt_L, XK_g}));
    ASSERT_TRUE(mKeyboard.Chord({XK_Num_Lock}));
    DispatchUntil(1);
    EXPECT_EQ(mPresses, std::vector<OSType>{FourCharCode("ctlG")});
}

TEST_F(HotKeys, UnregisteringReleasesEveryGrab) {
    XKeyboard third(sServer->Display());
    const uint8_t c = mKeyboard.Keycode(XK_c);
    const uint16_t mine = kControl | kShift | kMod1;
    ASSERT_EQ(Register(kC, kControlShiftOption, "ctlC"), noErr);
    EXPECT_EQ(Register(kC, kControlShiftOption, "dupC"), eventHotKeyExistsErr);
    EXPECT_FALSE(third.Grab(c, mine));
    EXPECT_FALSE(third.Grab(c, mine | kMod2 | kLock));
    ASSERT_EQ(UnregisterEventHotKey(mRegistered.back()), noErr);
    EXPECT_EQ(UnregisterEventHotKey(mRegistered.back()), eventHotKeyInvalidErr);
    mRegistered.pop_back();
    for (int lock : {0, kLock, kMod2, kMod5, kLock | kMod2 | kMod5}) {
        EXPECT_TRUE(third.Grab(c, uint16_t(mine | lock))) << lock;
        third.Ungrab(c, uint16_t(mine | lock));
    }
    // Unregistered, a press reaches no handler.
    ASSERT_TRUE(mKeyboard.Chord({XK_Control_L, XK_Shift_L, XK_Alt_L, XK_c}));
    DispatchUntil(0);
    EXPECT_TRUE(mPresses.empty());
}

TEST_F(HotKeys, UnknownKeysModifiersAndOptionsAreRefused) {
    EventHotKeyRef ref = nullptr;
    const EventTargetRef app = GetApplicationEventTarget();
    EXPECT_EQ(RegisterEventHotKey(0x34, cmdKey, {1, 1}, app, 0, &ref), paramErr);
    EXPECT_EQ(RegisterEventHotKey(kG, cmdKey | alphaLock, {1, 1}, app, 0, &ref), paramErr);
    EXPECT_EQ(RegisterEventHotKey(kG, cmdKey, {1, 1}, app, 1, &ref), paramErr);
    EXPECT_EQ(RegisterEventHotKey(kG, cmdKey, {1, 1}, nullptr, 0, &ref), paramErr);
    EXPECT_EQ(ref, nullptr);
    EXPECT_EQ(UnregisterEventHotKey(nullptr), eventHotKeyInvalidErr);
}

} // namespace
