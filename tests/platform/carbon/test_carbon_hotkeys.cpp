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

namespace {

constexpr UInt32 kCommandOptionControl = cmdKey | optionKey | controlKey;
constexpr UInt32 kControlShiftOption = controlKey | shiftKey | optionKey;
// X modifier bits of Xvfb's keymap.
constexpr int kShift = 1, kLock = 2, kControl = 4, kAlt = 8, kNumLock = 16, kSuper = 64,
              kMod5 = 128;

TEST(HotKeysWithoutServer, AreRefusedAndGiveNoDescriptor) {
    testsupport::Child child([] {
        ::setenv("DISPLAY", ":none", 1);
        EventHotKeyRef ref = reinterpret_cast<EventHotKeyRef>(1);
        const OSStatus status =
            RegisterEventHotKey(5, cmdKey, {1, 1}, GetApplicationEventTarget(), 0, &ref);
        DispatchPendingHotKeyEvents();
        return status == eventInternalErr && !ref && HotKeyEventsDescriptor() == -1 ? 0 : 1;
    });
    ASSERT_TRUE(child.Wait());
    EXPECT_EQ(child.exitCode, 0);
}

class HotKeys : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(testsupport::XServer::Installed("Xvfb"))
            << "scripts/install-deps.sh installs Xvfb";
        sServer = testsupport::XServer::Xvfb({320, 240});
        ASSERT_TRUE(sServer->Running()) << sServer->Log();
        ::setenv("DISPLAY", sServer->Display().c_str(), 1);
    }
    static void TearDownTestSuite() { sServer.reset(); }
    void SetUp() override {
        ASSERT_TRUE(sServer && sServer->Running() && mKeyboard.Ok());
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
    static OSStatus Record(EventHandlerCallRef next, EventRef event, void* presses) {
        EventHotKeyID id{};
        GetEventParameter(event, kEventParamDirectObject, typeEventHotKeyID, nullptr, 8, nullptr,
                          &id);
        static_cast<std::vector<OSType>*>(presses)->push_back(id.signature);
        return CallNextEventHandler(next, event);
    }
    OSStatus Register(UInt32 key, UInt32 modifiers, const char (&signature)[5]) {
        EventHotKeyRef ref = nullptr;
        const OSStatus status = RegisterEventHotKey(key, modifiers, {FourCharCode(signature), 1},
                                                    GetApplicationEventTarget(), 0, &ref);
        if (ref) mRegistered.push_back(ref);
        return status;
    }
    // Types the chord and dispatches as the application's loop would: until a press has come (at
    // most 5 s), then 200 ms more, so that a second delivery or an unexpected press is seen too.
    std::vector<OSType> Presses(const std::vector<uint32_t>& chord, bool expected = true) {
        mPresses.clear();
        EXPECT_TRUE(mKeyboard.Chord(chord));
        using Clock = std::chrono::steady_clock;
        auto deadline = Clock::now() + std::chrono::milliseconds(expected ? 5000 : 200);
        for (bool lingering = !expected; Clock::now() < deadline;) {
            pollfd p{HotKeyEventsDescriptor(), POLLIN, 0};
            ::poll(&p, 1, 10);
            DispatchPendingHotKeyEvents();
            if (!lingering && !mPresses.empty())
                lingering = true, deadline = Clock::now() + std::chrono::milliseconds(200);
        }
        return mPresses;
    }

    static inline std::unique_ptr<testsupport::XServer> sServer;
    XKeyboard mKeyboard{sServer ? sServer->Display() : ""};
    std::vector<OSType> mPresses;
    EventHandlerRef mHandler = nullptr;
    std::vector<EventHotKeyRef> mRegistered;
};

TEST_F(HotKeys, EachPressRunsTheHandlerOnceWhateverLockIsOn) {
    ASSERT_EQ(Register(5, kCommandOptionControl, "CmdG"), noErr);
    ASSERT_EQ(Register(5, kControlShiftOption, "ctlG"), noErr);
    ASSERT_EQ(Register(8, kCommandOptionControl, "CmdC"), noErr);
    ASSERT_EQ(Register(8, kControlShiftOption, "ctlC"), noErr);
    const struct {
        std::vector<uint32_t> locks; // toggled on before the chord and off after
        std::vector<uint32_t> chord;
        OSType signature; // 0: none
    } cases[] = {
        {{}, {XK_Super_L, XK_Alt_L, XK_Control_L, XK_g}, FourCharCode("CmdG")},
        {{XK_Num_Lock}, {XK_Control_L, XK_Shift_L, XK_Alt_L, XK_g}, FourCharCode("ctlG")},
        {{XK_Num_Lock}, {XK_Super_L, XK_Alt_L, XK_Control_L, XK_c}, FourCharCode("CmdC")},
        {{XK_Num_Lock, XK_Caps_Lock},
         {XK_Control_L, XK_Shift_L, XK_Alt_L, XK_c},
         FourCharCode("ctlC")},
        {{}, {XK_Super_L, XK_Alt_L, XK_g}, 0},
        {{XK_Num_Lock}, {XK_Super_L, XK_Alt_L, XK_Control_L, XK_Shift_L, XK_g}, 0},
    };
    for (const auto& c : cases) {
        for (uint32_t lock : c.locks)
            mKeyboard.Chord({lock});
        ASSERT_EQ(mKeyboard.ModifierState() != 0, !c.locks.empty());
        EXPECT_EQ(Presses(c.chord, c.signature),
                  c.signature ? std::vector<OSType>{c.signature} : std::vector<OSType>{})
            << c.signature << " with " << c.locks.size() << " locks";
        for (uint32_t lock : c.locks)
            mKeyboard.Chord({lock});
    }
}

TEST_F(HotKeys, ACombinationHeldElsewhereFailsAndLeavesNothingGrabbed) {
    XKeyboard other(sServer->Display()), third(sServer->Display());
    const uint8_t g = mKeyboard.Keycode(XK_g);
    const int mine = kSuper | kAlt | kControl;
    ASSERT_TRUE(other.Grab(g, mine | kNumLock)); // held only with Num Lock on
    EXPECT_EQ(Register(5, kCommandOptionControl, "CmdG"), eventHotKeyExistsErr);
    EXPECT_TRUE(mRegistered.empty());
    // Every other lock combination is free again: the grabs made before the refusal were undone.
    for (int lock : {0, kLock, kMod5, kLock | kMod5, kNumLock | kLock, kNumLock | kMod5,
                     kNumLock | kLock | kMod5}) {
        EXPECT_TRUE(third.Grab(g, uint16_t(mine | lock))) << lock;
        third.Ungrab(g, uint16_t(mine | lock));
    }
    // Another combination of the same key still works.
    ASSERT_EQ(Register(5, kControlShiftOption, "ctlG"), noErr);
    EXPECT_EQ(Presses({XK_Control_L, XK_Shift_L, XK_Alt_L, XK_g}),
              std::vector<OSType>{FourCharCode("ctlG")});
}

TEST_F(HotKeys, UnregisteringReleasesEveryGrab) {
    XKeyboard third(sServer->Display());
    const uint8_t c = mKeyboard.Keycode(XK_c);
    const int mine = kControl | kShift | kAlt;
    ASSERT_EQ(Register(8, kControlShiftOption, "ctlC"), noErr);
    EXPECT_EQ(Register(8, kControlShiftOption, "dupC"), eventHotKeyExistsErr); // already ours
    EXPECT_FALSE(third.Grab(c, uint16_t(mine | kNumLock | kLock)));
    ASSERT_EQ(UnregisterEventHotKey(mRegistered.back()), noErr);
    EXPECT_EQ(UnregisterEventHotKey(mRegistered.back()), eventHotKeyInvalidErr);
    mRegistered.clear();
    for (int lock : {0, kLock, kNumLock, kMod5, kLock | kNumLock | kMod5}) {
        EXPECT_TRUE(third.Grab(c, uint16_t(mine | lock))) << lock;
        third.Ungrab(c, uint16_t(mine | lock));
    }
    EXPECT_TRUE(Presses({XK_Control_L, XK_Shift_L, XK_Alt_L, XK_c}, false).empty());
    // Keys outside the table, unknown modifier bits and options are refused.
    EXPECT_EQ(Register(0x34, cmdKey, "none"), paramErr);
    EXPECT_EQ(Register(5, cmdKey | alphaLock, "none"), paramErr);
}

} // namespace
