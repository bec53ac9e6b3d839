#include "app/hotkeys/NSUIGlobalHotKey.h"
#include "core/CoreVerify.h"

using namespace platform::carbon;

NSUIDeferredPerform NSUIGlobalHotKey::sDeferredPerform;

void NSUIGlobalHotKey::SetDeferredPerform(NSUIDeferredPerform inPerform) {
    sDeferredPerform = std::move(inPerform);
}

void NSUIGlobalHotKey::SetTarget(NSUIHotKeyTarget* inTarget) {
    VERIFY(mTarget = inTarget);
}

void NSUIGlobalHotKey::SetAction(const char* inAction) {
    VERIFY(mAction = inAction);
}

void NSUIGlobalHotKey::SetTargetActionSender(NSUIHotKeyTarget* inTarget, const char* inAction,
                                             void* inSender) {
    SetTarget(inTarget);
    SetAction(inAction);
    mSender = inSender;
    mActionEnabled = true;
}

OSStatus NSUIGlobalHotKey::OnHotKey(EventRef) {
    if (!mActionEnabled) return noErr;
    if (!VERIFY(mTarget) || !VERIFY(mAction) || !VERIFY(sDeferredPerform)) return noErr;
    NSUIHotKeyTarget* target = mTarget;
    const char* action = mAction;
    void* sender = mSender;
    sDeferredPerform([target, action, sender] { target->performHotKeyAction(action, sender); });
    return noErr;
}
