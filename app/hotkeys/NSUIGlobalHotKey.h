#pragma once

// A hot key that sends an action message to a target object, on the main thread, on a later
// pass of the event loop than the press itself.
#include "app/hotkeys/CoreGlobalHotKey.h"

#include <functional>

// The receiver of hot-key actions: answers an action message, given by its selector text
// ("grabQuickSave:"), with one argument.
class NSUIHotKeyTarget {
public:
    virtual ~NSUIHotKeyTarget() = default;
    virtual void performHotKeyAction(const char* selector, void* sender) = 0;
};

// Runs a call on the main thread after the current event has been handled, in request order.
// The application hands its event loop's deferred perform to NSUIGlobalHotKey at start-up.
using NSUIDeferredPerform = std::function<void(std::function<void()>)>;

class NSUIGlobalHotKey : public CoreGlobalHotKey {
public:
    using CoreGlobalHotKey::CoreGlobalHotKey;

    // Neither the target nor the sender is retained. A null value is stored and reported.
    void SetTarget(NSUIHotKeyTarget* inTarget);
    void SetAction(const char* inAction);
    // Stores all three and enables the action.
    void SetTargetActionSender(NSUIHotKeyTarget* inTarget, const char* inAction, void* inSender);
    // While disabled, presses are ignored here (and still passed on).
    void SetEnableAction(bool inEnable) { mActionEnabled = inEnable; }
    bool IsActionEnabled() const { return mActionEnabled; }

    // Queues the action; always answers noErr.
    platform::carbon::OSStatus OnHotKey(platform::carbon::EventRef inEvent) override;

    static void SetDeferredPerform(NSUIDeferredPerform inPerform);

private:
    bool mActionEnabled = false;
    NSUIHotKeyTarget* mTarget = nullptr;
    const char* mAction = nullptr;
    void* mSender = nullptr;

    static NSUIDeferredPerform sDeferredPerform;
};
