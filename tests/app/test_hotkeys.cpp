// The application's four hot keys on a private X server, typed by a second client with XTEST.
#include "app/hotkeys/NSUIGlobalHotKey.h"
#include "tests/support/VerifyReports.h"
#include "tests/support/XKeyboard.h"
#include "tests/support/XServer.h"

#include <X11/keysym.h>
#include <chrono>
#include <deque>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>

using namespace platform::carbon;

namespace {

struct Target : NSUIHotKeyTarget {
    void performHotKeyAction(const char* selector, void* sender) override {
        performed.push_back(std::string(selector) + (sender == this ? "" : " from elsewhere"));
    }
    std::vector<std::string> performed;
};

const struct {
    OSType signature;
    UInt32 key;
    CoreGlobalHotKey::Modifier modifiers;
    const char* action;
    std::vector<uint32_t> chord;
} kAppHotKeys[] = {
    {FourCharCode("CmdG"),
     carbon_G_Command,
     CoreGlobalHotKey::kCommandOptionControlModifier,
     "grabQuickSave:",
     {XK_Super_L, XK_Alt_L, XK_Control_L, XK_g}},
    {FourCharCode("ctlG"),
     carbon_G_Command,
     CoreGlobalHotKey::kCtrlShiftOptionModifier,
     "grabScreenQuickSave:",
     {XK_Control_L, XK_Shift_L, XK_Alt_L, XK_g}},
    {FourCharCode("CmdC"),
     carbon_C_Command,
     CoreGlobalHotKey::kCommandOptionControlModifier,
     "grabAndCopy:",
     {XK_Super_L, XK_Alt_L, XK_Control_L, XK_c}},
    {FourCharCode("ctlC"),
     carbon_C_Command,
     CoreGlobalHotKey::kCtrlShiftOptionModifier,
     "grabScreenAndCopy:",
     {XK_Control_L, XK_Shift_L, XK_Alt_L, XK_c}},
};

class GlobalHotKeys : public ::testing::Test {
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
        NSUIGlobalHotKey::SetDeferredPerform(
            [this](std::function<void()> call) { mQueue.push_back(call); });
        // The hot keys as the controller sets them up, pointed at the target; reports kept.
        mReports = testsupport::VerifyReports([&] {
            for (const auto& row : kAppHotKeys) {
                mHotKeys.push_back(
                    std::make_unique<NSUIGlobalHotKey>(row.signature, row.key, row.modifiers));
                mHotKeys.back()->SetTargetActionSender(&mTarget, row.action, &mTarget);
            }
        });
    }
    void TearDown() override { NSUIGlobalHotKey::SetDeferredPerform(nullptr); }

    // Types the chord, dispatches as the event loop would until a call is queued (or for 200 ms
    // when none should be), then runs the queued calls as its later passes do.
    void Press(const std::vector<uint32_t>& chord, bool expected = true) {
        const size_t before = mTarget.performed.size();
        ASSERT_TRUE(mKeyboard.Chord(chord));
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(expected ? 5000 : 200);
        while (std::chrono::steady_clock::now() < deadline && mQueue.empty()) {
            pollfd p{HotKeyEventsDescriptor(), POLLIN, 0};
            ::poll(&p, 1, 10);
            DispatchPendingHotKeyEvents();
        }
        EXPECT_EQ(mTarget.performed.size(), before); // never inside the handler
        for (; !mQueue.empty(); mQueue.pop_front())
            mQueue.front()();
    }

    static inline std::unique_ptr<testsupport::XServer> sServer;
    testsupport::XKeyboard mKeyboard{sServer ? sServer->Display() : ""};
    Target mTarget;
    std::deque<std::function<void()>> mQueue;
    std::vector<std::unique_ptr<NSUIGlobalHotKey>> mHotKeys;
    std::string mReports;
};

TEST_F(GlobalHotKeys, EachHotKeyPerformsItsActionOnce) {
    EXPECT_EQ(mReports, "");
    for (const auto& row : kAppHotKeys) {
        const bool numLock = row.key == carbon_C_Command;
        if (numLock) mKeyboard.Chord({XK_Num_Lock});
        Press(row.chord);
        if (numLock) mKeyboard.Chord({XK_Num_Lock});
        EXPECT_EQ(mTarget.performed, std::vector<std::string>{row.action});
        mTarget.performed.clear();
    }
    // Disabled, a hot key does nothing; destroyed, it takes its handler along.
    mHotKeys[0]->SetEnableAction(false);
    Press(kAppHotKeys[0].chord, false);
    mHotKeys[1].reset();
    EventRef event = nullptr;
    CreateEvent(nullptr, kEventClassKeyboard, kEventHotKeyPressed, 0, 0, &event);
    const EventHotKeyID gone{FourCharCode("ctlG"), 1};
    SetEventParameter(event, kEventParamDirectObject, typeEventHotKeyID, sizeof gone, &gone);
    EXPECT_EQ(SendEventToEventTarget(event, GetApplicationEventTarget()), eventNotHandledErr);
    ReleaseEvent(event);
    EXPECT_TRUE(mQueue.empty() && mTarget.performed.empty());
}

TEST_F(GlobalHotKeys, AHotKeyHeldElsewhereIsReportedAndTheOthersWork) {
    mHotKeys.clear();
    testsupport::XKeyboard other(sServer->Display());
    ASSERT_TRUE(other.Grab(mKeyboard.Keycode(XK_g), 64 | 8 | 4)); // Super+Alt+Control
    SetUp();
    EXPECT_NE(
        mReports.find("OSErr:-9878  code : RegisterEventHotKey(inHotKeyCode, inHotKeyModifiers, "
                      "mHotKeyID, GetApplicationEventTarget(), hotkeyOptionBits, &mHotKeyRef)"),
        std::string::npos)
        << mReports;
    EXPECT_FALSE(mHotKeys[0]->IsRegistered());
    Press(kAppHotKeys[2].chord);
    EXPECT_EQ(mTarget.performed, std::vector<std::string>{"grabAndCopy:"});
    // Without a target the press is reported and nothing is queued.
    mHotKeys[2]->SetTarget(nullptr);
    const std::string reports =
        testsupport::VerifyReports([&] { Press(kAppHotKeys[2].chord, false); });
    EXPECT_TRUE(testsupport::VerifyReported(reports, "mTarget", "OnHotKey")) << reports;
}

} // namespace
