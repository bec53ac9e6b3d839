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
using testsupport::VerifyReported;
using testsupport::VerifyReports;
using testsupport::XKeyboard;
using testsupport::XServer;

namespace {

struct Target : NSUIHotKeyTarget {
    void performHotKeyAction(const char* selector, void* sender) override {
        performed.push_back(std::string(selector) + (sender == this ? " from me" : " from other"));
    }
    std::vector<std::string> performed;
};

struct HotKeyRow {
    const char* signature;
    UInt32 key;
    CoreGlobalHotKey::Modifier modifiers;
    const char* action;
    std::vector<uint32_t> chord;
};

const HotKeyRow kAppHotKeys[] = {
    {"CmdG",
     carbon_G_Command,
     CoreGlobalHotKey::kCommandOptionControlModifier,
     "grabQuickSave:",
     {XK_Super_L, XK_Alt_L, XK_Control_L, XK_g}},
    {"ctlG",
     carbon_G_Command,
     CoreGlobalHotKey::kCtrlShiftOptionModifier,
     "grabScreenQuickSave:",
     {XK_Control_L, XK_Shift_L, XK_Alt_L, XK_g}},
    {"CmdC",
     carbon_C_Command,
     CoreGlobalHotKey::kCommandOptionControlModifier,
     "grabAndCopy:",
     {XK_Super_L, XK_Alt_L, XK_Control_L, XK_c}},
    {"ctlC",
     carbon_C_Command,
     CoreGlobalHotKey::kCtrlShiftOptionModifier,
     "grabScreenAndCopy:",
     {XK_Control_L, XK_Shift_L, XK_Alt_L, XK_c}},
};

OSType Signature(const char* text) {
    return OSType(uint8_t(text[0])) << 24 | OSType(uint8_t(text[1])) << 16 |
           OSType(uint8_t(text[2])) << 8 | OSType(uint8_t(text[3]));
}

class GlobalHotKeys : public ::testing::Test {
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
        NSUIGlobalHotKey::SetDeferredPerform(
            [this](std::function<void()> call) { mQueue.push_back(std::move(call)); });
    }
    void TearDown() override { NSUIGlobalHotKey::SetDeferredPerform(nullptr); }

    // The hot keys as the controller sets them up, pointed at the target.
    void ConstructAll() {
        for (const HotKeyRow& row : kAppHotKeys) {
            mHotKeys.push_back(std::make_unique<NSUIGlobalHotKey>(Signature(row.signature), row.key,
                                                                  row.modifiers));
            mHotKeys.back()->SetTargetActionSender(&mTarget, row.action, &mTarget);
        }
    }

    // Dispatches as the event loop would until a call is queued (or a moment has passed when
    // none is expected), then a moment longer to see that no second one comes.
    void Dispatch(bool expectCall) {
        using Clock = std::chrono::steady_clock;
        auto deadline =
            Clock::now() + (expectCall ? std::chrono::seconds(5) : std::chrono::milliseconds(200));
        bool lingering = !expectCall;
        while (Clock::now() < deadline) {
            pollfd p{HotKeyEventsDescriptor(), POLLIN, 0};
            ::poll(&p, 1, 10);
            DispatchPendingHotKeyEvents();
            if (!lingering && !mQueue.empty()) {
                lingering = true;
                deadline = Clock::now() + std::chrono::milliseconds(200);
            }
        }
    }
    // Runs the queued calls, as the event loop's later passes do.
    void RunQueue() {
        while (!mQueue.empty()) {
            std::function<void()> call = std::move(mQueue.front());
            mQueue.pop_front();
            call();
        }
    }

    static XServer* sServer;
    XKeyboard mKeyboard{sServer ? sServer->Display() : ""};
    Target mTarget;
    std::deque<std::function<void()>> mQueue;
    std::vector<std::unique_ptr<NSUIGlobalHotKey>> mHotKeys;
};
XServer* GlobalHotKeys::sServer = nullptr;

TEST_F(GlobalHotKeys, EachHotKeyQueuesItsActionOnce) {
    ConstructAll();
    for (const auto& hotKey : mHotKeys)
        ASSERT_TRUE(hotKey->IsRegistered());
    for (bool numLock : {false, true}) {
        if (numLock) {
            ASSERT_TRUE(mKeyboard.Chord({XK_Num_Lock}));
        }
        ASSERT_EQ(mKeyboard.ModifierState(), numLock ? 16 : 0); // Num Lock is Mod2
        for (const HotKeyRow& row : kAppHotKeys) {
            ASSERT_TRUE(mKeyboard.Chord(row.chord)) << row.action;
            Dispatch(true);
            // Queued for a later pass of the loop, not run inside the handler.
            EXPECT_TRUE(mTarget.performed.empty()) << row.action;
            RunQueue();
            EXPECT_EQ(mTarget.performed,
                      std::vector<std::string>{row.action + std::string(" from me")})
                << row.action << (numLock ? " with Num Lock" : "");
            mTarget.performed.clear();
        }
        if (numLock) {
            ASSERT_TRUE(mKeyboard.Chord({XK_Num_Lock}));
        }
    }
}

// An older handler of the application's target that counts the presses passed on to it.
OSStatus CountPasses(EventHandlerCallRef next, EventRef event, void* count) {
    ++*static_cast<int*>(count);
    return CallNextEventHandler(next, event);
}

TEST_F(GlobalHotKeys, ADisabledHotKeyDoesNothingButPassesThePressOn) {
    int passedOn = 0;
    const EventTypeSpec pressed{kEventClassKeyboard, kEventHotKeyPressed};
    EventHandlerRef counter = nullptr;
    ASSERT_EQ(InstallEventHandler(GetApplicationEventTarget(), CountPasses, 1, &pressed, &passedOn,
                                  &counter),
              noErr);
    ConstructAll();
    mHotKeys[0]->SetEnableAction(false);
    EXPECT_FALSE(mHotKeys[0]->IsActionEnabled());
    ASSERT_TRUE(mKeyboard.Chord(kAppHotKeys[0].chord));
    Dispatch(false);
    EXPECT_TRUE(mQueue.empty());
    EXPECT_EQ(passedOn, 1);

    // A press whose signature no hot key has leaves every action alone, and is passed on too.
    EventRef event = nullptr;
    ASSERT_EQ(CreateEvent(nullptr, kEventClassKeyboard, kEventHotKeyPressed, 0, 0, &event), noErr);
    const EventHotKeyID stranger{Signature("xxxx"), 1};
    SetEventParameter(event, kEventParamDirectObject, typeEventHotKeyID, sizeof stranger,
                      &stranger);
    EXPECT_EQ(SendEventToEventTarget(event, GetApplicationEventTarget()), eventNotHandledErr);
    EXPECT_TRUE(mQueue.empty());
    EXPECT_EQ(passedOn, 2);

    // Destroyed hot keys take their handlers with them.
    const EventHotKeyID second{Signature("ctlG"), 1};
    SetEventParameter(event, kEventParamDirectObject, typeEventHotKeyID, sizeof second, &second);
    mHotKeys.clear();
    SendEventToEventTarget(event, GetApplicationEventTarget());
    EXPECT_TRUE(mQueue.empty());
    EXPECT_EQ(passedOn, 3);
    ReleaseEvent(event);
    RemoveEventHandler(counter);
}

TEST_F(GlobalHotKeys, AHotKeyHeldElsewhereIsReportedAndTheOthersWork) {
    XKeyboard other(sServer->Display());
    const uint16_t superAltControl = 64 | 8 | 4;
    ASSERT_TRUE(other.Grab(mKeyboard.Keycode(XK_g), superAltControl));
    const std::string reports = VerifyReports([&] { ConstructAll(); });
    EXPECT_TRUE(VerifyReported(reports, "Construct(inHotKeySignature, inHotKeyCode, "
                                        "inHotKeyModifiers)"))
        << reports;
    EXPECT_NE(reports.find("VERIFY_ERR FAILED: OSErr:-9878  code : RegisterEventHotKey("
                           "inHotKeyCode, inHotKeyModifiers, mHotKeyID, "
                           "GetApplicationEventTarget(), hotkeyOptionBits, &mHotKeyRef)"),
              std::string::npos)
        << reports;
    EXPECT_FALSE(mHotKeys[0]->IsRegistered());
    for (size_t i = 1; i < 4; ++i) {
        ASSERT_TRUE(mHotKeys[i]->IsRegistered());
        ASSERT_TRUE(mKeyboard.Chord(kAppHotKeys[i].chord));
        Dispatch(true);
        RunQueue();
    }
    EXPECT_EQ(mTarget.performed,
              (std::vector<std::string>{"grabScreenQuickSave: from me", "grabAndCopy: from me",
                                        "grabScreenAndCopy: from me"}));
}

TEST_F(GlobalHotKeys, AMissingTargetOrActionIsReported) {
    NSUIGlobalHotKey hotKey(Signature("CmdC"), carbon_C_Command,
                            CoreGlobalHotKey::kCommandOptionControlModifier);
    std::string reports =
        VerifyReports([&] { hotKey.SetTargetActionSender(nullptr, "copy:", nullptr); });
    EXPECT_TRUE(VerifyReported(reports, "mTarget = inTarget")) << reports;
    ASSERT_TRUE(mKeyboard.Chord(kAppHotKeys[2].chord));
    reports = VerifyReports([&] { Dispatch(false); });
    EXPECT_TRUE(VerifyReported(reports, "mTarget", "OnHotKey")) << reports;
    EXPECT_TRUE(mQueue.empty());
}

} // namespace
