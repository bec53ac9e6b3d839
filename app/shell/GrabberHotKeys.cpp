#include "app/shell/GrabberHotKeys.h"

#include "app/hotkeys/NSUIGlobalHotKey.h"
#include "app/shell/Product.h"
#include "core/CoreVerify.h"
#include "platform/appkit/NSRunLoopSources.h"
#include "platform/carbon/CarbonEvents.h"

#include <cstdlib>

using namespace platform::carbon;

namespace {

NSUIGlobalHotKey sGrabWindowSave_HotKey;
NSUIGlobalHotKey sGrabScreenSave_HotKey;
NSUIGlobalHotKey sGrabWindowCopy_HotKey;
NSUIGlobalHotKey sGrabScreenCopy_HotKey;

struct HotKeyEntry {
    NSUIGlobalHotKey* hotKey;
    OSType signature;
    UInt32 keyCode;
    CoreGlobalHotKey::Modifier modifiers;
    const char* action;
    const char* title; // where the desktop lists its global shortcuts
    const char* report;
};
// clang-format off
const HotKeyEntry kHotKeys[] = {
    {&sGrabWindowSave_HotKey, FourCharCode("CmdG"), carbon_G_Command,
     CoreGlobalHotKey::kCommandOptionControlModifier, "grabQuickSave:", "Grab and Save",
     " code : sGrabWindowSave_HotKey.Construct('CmdG',carbon_G_Command, CoreGlobalHotKey::kCommandOptionControlModifier)"},
    {&sGrabScreenSave_HotKey, FourCharCode("ctlG"), carbon_G_Command,
     CoreGlobalHotKey::kCtrlShiftOptionModifier, "grabScreenQuickSave:", "Grab Screen and Save",
     " code : sGrabScreenSave_HotKey.Construct('ctlG',carbon_G_Command, CoreGlobalHotKey::kCtrlShiftOptionModifier)"},
    {&sGrabWindowCopy_HotKey, FourCharCode("CmdC"), carbon_C_Command,
     CoreGlobalHotKey::kCommandOptionControlModifier, "grabAndCopy:", "Grab and Copy",
     " code : sGrabWindowCopy_HotKey.Construct('CmdC',carbon_C_Command, CoreGlobalHotKey::kCommandOptionControlModifier)"},
    {&sGrabScreenCopy_HotKey, FourCharCode("ctlC"), carbon_C_Command,
     CoreGlobalHotKey::kCtrlShiftOptionModifier, "grabScreenAndCopy:", "Grab Screen and Copy", nullptr},
};
// clang-format on

// Hot-key actions as the object's selector-named actions.
class HotKeyTarget : public NSUIHotKeyTarget {
public:
    explicit HotKeyTarget(platform::appkit::NSObject& object) : mObject(object) {}
    void performHotKeyAction(const char* selector, void* sender) override {
        mObject.performSelector(platform::appkit::NSSelectorFromString(selector),
                                static_cast<platform::appkit::NSObject*>(sender));
    }

private:
    platform::appkit::NSObject& mObject;
};

void HookHotKeyEvents() {
    static bool hooked = false;
    if (hooked) return;
    hooked = true;
    NSUIGlobalHotKey::SetDeferredPerform(
        [](std::function<void()> call) { platform::appkit::deferred::Enqueue(std::move(call)); });
    // Events read off the connection while a request waited for its reply sit in the queue
    // without making the descriptor readable: look before every wait as well.
    platform::appkit::NSRunLoopAddBeforeWaitCall(DispatchPendingHotKeyEvents);
    const int fd = HotKeyEventsDescriptor();
    platform::appkit::NSRunLoopWatchDescriptor(fd, [fd] {
        DispatchPendingHotKeyEvents();
        return HotKeyEventsDescriptor() == fd;
    });
}

} // namespace

void ConstructGrabberHotKeys(platform::appkit::NSObject& controller) {
    static HotKeyTarget* target = nullptr;
    delete target;
    target = new HotKeyTarget(controller);
    void* sender = &controller;

    SetEventHotKeyApplication(kProductIdentifier, kProductName);
    for (const HotKeyEntry& entry : kHotKeys) {
        SetEventHotKeyTitle(entry.signature, entry.title);
        const bool constructed =
            entry.hotKey->Construct(entry.signature, entry.keyCode, entry.modifiers);
        // Each failure is reported and the next hot key still set up; the fourth reports through
        // its own registration only.
        if (entry.report)
            CoreVerifyCheck(constructed, __func__, "GrabberController", __LINE__, entry.report);
        entry.hotKey->SetTargetActionSender(target, entry.action, sender);
    }
    HookHotKeyEvents();
    // The event layer's registry is made on first use, after these objects, so it would go
    // before them at exit: they let go of their keys first.
    static const bool releasedAtExit = std::atexit([] {
                                           for (const HotKeyEntry& entry : kHotKeys)
                                               entry.hotKey->Destruct();
                                       }) == 0;
    (void)releasedAtExit;
}
