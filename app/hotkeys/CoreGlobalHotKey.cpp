#include "app/hotkeys/CoreGlobalHotKey.h"
#include "core/CoreVerify.h"

using namespace platform::carbon;

// Constant-initialised, so it is set before any static hot key is constructed.
constinit EventHandlerUPP CoreGlobalHotKey::sHotKeyFunction = NewEventHandlerUPP(sKeyEventHandler);

CoreGlobalHotKey::CoreGlobalHotKey(OSType inHotKeySignature, UInt32 inHotKeyCode,
                                   Modifier inHotKeyModifiers) {
    VERIFY(Construct(inHotKeySignature, inHotKeyCode, inHotKeyModifiers));
}

CoreGlobalHotKey::~CoreGlobalHotKey() {
    Destruct();
    Empty();
}

void CoreGlobalHotKey::Empty() {
    mHotKeyRef = nullptr;
    mHotKeyID = {0, 0};
    mAlwaysPassEventToNextHandler = false;
    mEventHandlerRef = nullptr;
}

bool CoreGlobalHotKey::Construct(OSType inHotKeySignature, UInt32 inHotKeyCode,
                                 Modifier inHotKeyModifiers) {
    Destruct();
    if (!VERIFY(sHotKeyFunction)) return false;
    const EventTypeSpec hotKeyPressed{kEventClassKeyboard, kEventHotKeyPressed};
    if (VERIFY_ERR(InstallEventHandler(GetApplicationEventTarget(), sHotKeyFunction, 1,
                                       &hotKeyPressed, this, &mEventHandlerRef)) != noErr)
        return false;
    mHotKeyID = {inHotKeySignature, 1};
    const OptionBits hotkeyOptionBits = 0;
    // clang-format off
    if (VERIFY_ERR(RegisterEventHotKey(inHotKeyCode, inHotKeyModifiers, mHotKeyID, GetApplicationEventTarget(), hotkeyOptionBits, &mHotKeyRef)) != noErr) {
        // clang-format on
        Destruct();
        return false;
    }
    return true;
}

void CoreGlobalHotKey::Destruct() {
    if (mHotKeyRef) {
        VERIFY_ERR(UnregisterEventHotKey(mHotKeyRef));
        mHotKeyRef = nullptr;
    }
    if (mEventHandlerRef) {
        VERIFY_ERR(RemoveEventHandler(mEventHandlerRef));
        mEventHandlerRef = nullptr;
    }
}

OSStatus CoreGlobalHotKey::OnHotKey(EventRef) {
    return eventNotHandledErr;
}

OSStatus CoreGlobalHotKey::OnEventHandler(EventHandlerCallRef nextHandler, EventRef inEvent) {
    EventHotKeyID hotKeyID{0, 0};
    OSStatus result = eventNotHandledErr;
    if (GetEventParameter(inEvent, kEventParamDirectObject, typeEventHotKeyID, nullptr,
                          sizeof hotKeyID, nullptr, &hotKeyID) == noErr &&
        hotKeyID.signature == mHotKeyID.signature)
        result = OnHotKey(inEvent);
    if (!VERIFY(nextHandler)) return result;
    return CallNextEventHandler(nextHandler, inEvent);
}

OSStatus CoreGlobalHotKey::sKeyEventHandler(EventHandlerCallRef next, EventRef event,
                                            void* object) {
    if (object) return static_cast<CoreGlobalHotKey*>(object)->OnEventHandler(next, event);
    return next ? CallNextEventHandler(next, event) : eventNotHandledErr;
}
