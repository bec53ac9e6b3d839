#pragma once

// One system-wide key combination registered with the event manager. Every constructed object
// installs its own handler on the application's event target, so each press travels through the
// handlers of all of them; each one picks out its own presses by signature and passes every
// press on.
#include "platform/carbon/CarbonEvents.h"

// The virtual key codes of the US layout the application's hot keys use.
constexpr platform::carbon::UInt32 carbon_G_Command = 5;
constexpr platform::carbon::UInt32 carbon_C_Command = 8;

class CoreGlobalHotKey {
public:
    enum Modifier : platform::carbon::UInt32 {
        kCommandOptionControlModifier = 0x1900, // Command + Option + Control
        kCtrlShiftOptionModifier = 0x1A00,      // Control + Shift + Option
    };

    CoreGlobalHotKey() = default;
    CoreGlobalHotKey(platform::carbon::OSType inHotKeySignature,
                     platform::carbon::UInt32 inHotKeyCode, Modifier inHotKeyModifiers);
    virtual ~CoreGlobalHotKey();
    CoreGlobalHotKey(const CoreGlobalHotKey&) = delete;
    CoreGlobalHotKey& operator=(const CoreGlobalHotKey&) = delete;

    // Installs the handler and registers the combination under (signature, 1). False, with a
    // report and nothing left installed, when the combination cannot be had.
    bool Construct(platform::carbon::OSType inHotKeySignature,
                   platform::carbon::UInt32 inHotKeyCode, Modifier inHotKeyModifiers);
    // Unregisters and removes the handler, so that no press reaches a destroyed object.
    void Destruct();

    // Kept for callers that ask; every press is passed on regardless.
    void SetAlwaysPassEventToNextHandler(bool inPass) { mAlwaysPassEventToNextHandler = inPass; }
    bool GetAlwaysPassEventToNextHandler() const { return mAlwaysPassEventToNextHandler; }

    // A press of this hot key; the base answers eventNotHandledErr.
    virtual platform::carbon::OSStatus OnHotKey(platform::carbon::EventRef inEvent);
    virtual platform::carbon::OSStatus
    OnEventHandler(platform::carbon::EventHandlerCallRef inNextHandler,
                   platform::carbon::EventRef inEvent);

    static platform::carbon::OSStatus sKeyEventHandler(platform::carbon::EventHandlerCallRef next,
                                                       platform::carbon::EventRef event,
                                                       void* object);

protected:
    void Empty();

private:
    platform::carbon::EventHotKeyRef mHotKeyRef = nullptr;
    platform::carbon::EventHotKeyID mHotKeyID{0, 0};
    bool mAlwaysPassEventToNextHandler = false;
    platform::carbon::EventHandlerRef mEventHandlerRef = nullptr;

    static platform::carbon::EventHandlerUPP sHotKeyFunction;
};
