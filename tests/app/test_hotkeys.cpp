// Hot keys on a private X server, typed by a second client with XTEST: the event layer's grabs
// and the application's four hot keys. The hot keys' connection is opened once per process, so
// the server is too.
#include "app/hotkeys/NSUIGlobalHotKey.h"
#include "tests/support/PatternScreen.h"
#include "tests/support/XKeyboard.h"

#include <X11/keysym.h>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>

using namespace platform::carbon;
using testsupport::XKeyboard;

namespace {

// X modifier bits of Xvfb's keymap.
constexpr int kLock = 2, kControl = 4, kAlt = 8, kNumLock = 16, kSuper = 64, kMod5 = 128;
const std::vector<uint32_t> kSuperAltControlG{XK_Super_L, XK_Alt_L, XK_Control_L, XK_g},
    kControlShiftAltG{XK_Control_L, XK_Shift_L, XK_Alt_L, XK_g},
    kSuperAltControlC{XK_Super_L, XK_Alt_L, XK_Control_L, XK_c},
    kControlShiftAltC{XK_Control_L, XK_Shift_L, XK_Alt_L, XK_c};

// The suite's server shows a pattern that no test looks at.
class HotKeys : public testsupport::PatternScreenSuite<{320, 240}>, public NSUIHotKeyTarget {
protected:
    static void SetUpTestSuite() {
        PatternScreenSuite::SetUpTestSuite();
        ::setenv("DISPLAY", Display().c_str(), 1);
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS"); // X grabs, not a desktop's shortcut service
    }
    void SetUp() override {
        PatternScreenSuite::SetUp();
        ASSERT_TRUE(!HasFatalFailure() && mKeyboard.Ok());
        const EventTypeSpec pressed{kEventClassKeyboard, kEventHotKeyPressed};
        ASSERT_EQ(InstallEventHandler(GetApplicationEventTarget(), Record, 1, &pressed, &mPresses,
                                      &mHandler),
                  noErr);
        NSUIGlobalHotKey::SetDeferredPerform(
            [this](std::function<void()> call) { mQueue.push_back(call); });
    }
    void TearDown() override {
        RemoveEventHandler(mHandler);
        for (EventHotKeyRef ref : mRegistered)
            UnregisterEventHotKey(ref);
    }
    // The oldest handler: it sees every press that the hot keys' handlers pass on.
    static OSStatus Record(EventHandlerCallRef next, EventRef event, void* presses) {
        EventHotKeyID id{};
        GetEventParameter(event, kEventParamDirectObject, typeEventHotKeyID, nullptr, 8, nullptr,
                          &id);
        static_cast<std::vector<OSType>*>(presses)->push_back(id.signature);
        return CallNextEventHandler(next, event);
    }
    void performHotKeyAction(const char* selector, void* sender) override {
        mPerformed.push_back(std::string(selector) + (sender == this ? "" : " from elsewhere"));
    }
    OSStatus Register(UInt32 key, UInt32 modifiers, const char (&signature)[5]) {
        EventHotKeyRef ref = nullptr;
        const OSStatus status = RegisterEventHotKey(key, modifiers, {FourCharCode(signature), 1},
                                                    GetApplicationEventTarget(), 0, &ref);
        if (ref) mRegistered.push_back(ref);
        return status;
    }
    // Types the chord (with the locks toggled on around it) and dispatches as the event loop
    // would: until a press has come (or for 200 ms when none should), then 200 ms more to see a
    // second delivery. Queued actions run afterwards, as on the loop's later passes.
    std::vector<OSType> Press(const std::vector<uint32_t>& chord, std::vector<uint32_t> locks = {},
                              bool expected = true) {
        mPresses.clear();
        for (uint32_t lock : locks)
            mKeyboard.Chord({lock});
        EXPECT_EQ(mKeyboard.ModifierState() != 0, !locks.empty());
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
        EXPECT_TRUE(mPerformed.empty()); // never inside the handler
        for (; !mQueue.empty(); mQueue.erase(mQueue.begin()))
            mQueue.front()();
        for (uint32_t lock : locks)
            mKeyboard.Chord({lock});
        return mPresses;
    }

    XKeyboard mKeyboard{Display()};
    std::vector<OSType> mPresses;
    std::vector<std::string> mPerformed;
    std::vector<std::function<void()>> mQueue;
    EventHandlerRef mHandler = nullptr;
    std::vector<EventHotKeyRef> mRegistered;
};

TEST_F(HotKeys, AHeldCombinationFailsAndNoGrabOutlivesItsHotKey) {
    XKeyboard other(Display()), third(Display());
    const uint8_t g = mKeyboard.Keycode(XK_g), c = mKeyboard.Keycode(XK_c);
    const int superAltControl = kSuper | kAlt | kControl;
    ASSERT_TRUE(other.Grab(g, superAltControl | kNumLock)); // held only with Num Lock on
    EXPECT_EQ(Register(5, cmdKey | optionKey | controlKey, "CmdG"), eventHotKeyExistsErr);
    EXPECT_TRUE(mRegistered.empty());
    ASSERT_EQ(Register(8, cmdKey | optionKey | controlKey, "CmdC"), noErr);
    EXPECT_FALSE(third.Grab(c, superAltControl | kNumLock | kLock));
    ASSERT_EQ(UnregisterEventHotKey(mRegistered.back()), noErr);
    mRegistered.clear();
    // Every lock combination of both is free: the refused one's grabs were undone, the other's
    // released.
    for (int lock : {0, kLock, kMod5, kLock | kMod5, kNumLock | kLock, kNumLock | kMod5,
                     kNumLock | kLock | kMod5})
        for (uint8_t key : {g, c}) {
            EXPECT_TRUE(third.Grab(key, uint16_t(superAltControl | lock))) << lock;
            third.Ungrab(key, uint16_t(superAltControl | lock));
        }
    EXPECT_TRUE(Press(kSuperAltControlC, {}, false).empty());
}

TEST_F(HotKeys, TheApplicationsHotKeysPerformTheirActionsOnceWhateverLockIsOn) {
    constexpr auto kCOC = CoreGlobalHotKey::kCommandOptionControlModifier,
                   kCSO = CoreGlobalHotKey::kCtrlShiftOptionModifier;
    const std::vector<uint32_t> kBothLocks{XK_Num_Lock, XK_Caps_Lock};
    const struct {
        const char signature[5];
        UInt32 key;
        CoreGlobalHotKey::Modifier modifiers;
        const char* action;
        std::vector<uint32_t> chord, locks;
    } rows[] = {
        {"CmdG", carbon_G_Command, kCOC, "grabQuickSave:", kSuperAltControlG, {}},
        {"ctlG", carbon_G_Command, kCSO, "grabScreenQuickSave:", kControlShiftAltG, {XK_Num_Lock}},
        {"CmdC", carbon_C_Command, kCOC, "grabAndCopy:", kSuperAltControlC, {XK_Caps_Lock}},
        {"ctlC", carbon_C_Command, kCSO, "grabScreenAndCopy:", kControlShiftAltC, kBothLocks},
    };
    // (A combination that cannot be had is reported, and the others work: the program's test.)
    std::vector<std::unique_ptr<NSUIGlobalHotKey>> hotKeys;
    for (const auto& row : rows) {
        hotKeys.push_back(std::make_unique<NSUIGlobalHotKey>(FourCharCode(row.signature), row.key,
                                                             row.modifiers));
        hotKeys.back()->SetTargetActionSender(this, row.action, this);
    }
    for (const auto& row : rows) {
        mPerformed.clear();
        EXPECT_EQ(Press(row.chord, row.locks), std::vector<OSType>{FourCharCode(row.signature)});
        EXPECT_EQ(mPerformed, std::vector<std::string>{row.action}) << row.locks.size() << " locks";
    }
    mPerformed.clear();
    EXPECT_TRUE(Press({XK_Shift_L, XK_Super_L, XK_Alt_L, XK_Control_L, XK_g}, {XK_Num_Lock}, false)
                    .empty());
    // Disabled, a hot key does nothing but passes the press on; destroyed, it takes its handler.
    hotKeys[1]->SetEnableAction(false);
    EXPECT_EQ(Press(kControlShiftAltG), std::vector<OSType>{FourCharCode("ctlG")});
    hotKeys[2].reset();
    Press(kSuperAltControlC, {}, false);
    EXPECT_TRUE(mPerformed.empty());
}

} // namespace
