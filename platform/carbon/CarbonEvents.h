#pragma once

// The event manager's hot keys and handler chains, with their documented names, values and
// calling rules, over X11. A hot key is a passive grab of its key on the root window, made under
// every combination of the lock modifiers so that it works whatever lock is on, or, where the
// desktop's global shortcut service runs on the session bus, an action registered there; a press
// becomes a hot-key-pressed event sent to the application's event target, whose handlers run
// newest first, each passing the event on with CallNextEventHandler.
//
// Delivery, main thread only. The layer owns no event loop. It keeps an X connection (opened from
// $DISPLAY on first use) or a session bus connection of its own; the application's event loop
// hooks it in by:
//   - watching HotKeyEventsDescriptor() for reading and calling DispatchPendingHotKeyEvents()
//     when it becomes readable, and
//   - calling DispatchPendingHotKeyEvents() once more before it blocks, because events read off
//     the connection while a request waited for its reply (RegisterEventHotKey does) sit in the
//     queue without making the descriptor readable.
// Handlers therefore run on the thread that runs the loop, inside DispatchPendingHotKeyEvents.
// A connection that failed to open is not retried; once it breaks, the descriptor reads -1 and
// the loop should stop watching the old one.
#include <cstddef>
#include <cstdint>

namespace platform::carbon {

using OSStatus = int32_t;
using OSType = uint32_t;
using UInt32 = uint32_t;
using ItemCount = unsigned long;
using ByteCount = unsigned long;
using OptionBits = uint32_t;
using EventParamName = OSType;
using EventParamType = OSType;

constexpr OSStatus noErr = 0;
constexpr OSStatus paramErr = -50;
constexpr OSStatus eventInternalErr = -9868;
constexpr OSStatus eventParameterNotFoundErr = -9870;
constexpr OSStatus eventNotHandledErr = -9874;
constexpr OSStatus eventHotKeyExistsErr = -9878;
constexpr OSStatus eventHotKeyInvalidErr = -9879;

constexpr OSType FourCharCode(const char (&c)[5]) {
    return OSType(uint8_t(c[0])) << 24 | OSType(uint8_t(c[1])) << 16 | OSType(uint8_t(c[2])) << 8 |
           OSType(uint8_t(c[3]));
}

constexpr UInt32 kEventClassKeyboard = FourCharCode("keyb");
constexpr UInt32 kEventHotKeyPressed = 5;
constexpr UInt32 kEventHotKeyReleased = 6;
constexpr EventParamName kEventParamDirectObject = FourCharCode("----");
constexpr EventParamType typeEventHotKeyID = FourCharCode("hkid");

// Modifier bits of hot keys. Command is Super, Option is Alt.
constexpr UInt32 cmdKey = 0x0100;
constexpr UInt32 shiftKey = 0x0200;
constexpr UInt32 alphaLock = 0x0400;
constexpr UInt32 optionKey = 0x0800;
constexpr UInt32 controlKey = 0x1000;

struct EventHotKeyID {
    OSType signature;
    UInt32 id;
};
static_assert(sizeof(EventHotKeyID) == 8);

struct EventTypeSpec {
    UInt32 eventClass;
    UInt32 eventKind;
};

struct OpaqueEventRef;
struct OpaqueEventTargetRef;
struct OpaqueEventHandlerRef;
struct OpaqueEventHandlerCallRef;
struct OpaqueEventHotKeyRef;
using EventRef = OpaqueEventRef*;
using EventTargetRef = OpaqueEventTargetRef*;
using EventHandlerRef = OpaqueEventHandlerRef*;
using EventHandlerCallRef = OpaqueEventHandlerCallRef*;
using EventHotKeyRef = OpaqueEventHotKeyRef*;

using EventHandlerProcPtr = OSStatus (*)(EventHandlerCallRef inHandlerCallRef, EventRef inEvent,
                                         void* inUserData);
using EventHandlerUPP = EventHandlerProcPtr;
constexpr EventHandlerUPP NewEventHandlerUPP(EventHandlerProcPtr proc) {
    return proc;
}

// Events.
OSStatus CreateEvent(void* inAllocator, UInt32 inClassID, UInt32 inKind, double inWhen,
                     OptionBits inAttributes, EventRef* outEvent);
void ReleaseEvent(EventRef inEvent);
OSStatus SetEventParameter(EventRef inEvent, EventParamName inName, EventParamType inType,
                           ByteCount inSize, const void* inDataPtr);
// eventParameterNotFoundErr when the event has no parameter of that name and type; paramErr
// when the buffer is too small.
OSStatus GetEventParameter(EventRef inEvent, EventParamName inName, EventParamType inDesiredType,
                           EventParamType* outActualType, ByteCount inBufferSize,
                           ByteCount* outActualSize, void* outData);

// Targets and handler chains.
EventTargetRef GetApplicationEventTarget();
OSStatus InstallEventHandler(EventTargetRef inTarget, EventHandlerUPP inHandler,
                             ItemCount inNumTypes, const EventTypeSpec* inList, void* inUserData,
                             EventHandlerRef* outRef);
// A handler removed while an event is being handled is skipped from then on.
OSStatus RemoveEventHandler(EventHandlerRef inHandlerRef);
// Runs the next older handler for the event; eventNotHandledErr when there is none.
OSStatus CallNextEventHandler(EventHandlerCallRef inCallRef, EventRef inEvent);
// Runs the target's newest handler for the event's class and kind; eventNotHandledErr when
// there is none.
OSStatus SendEventToEventTarget(EventRef inEvent, EventTargetRef inTarget);

// Hot keys. The key code is a virtual key code of the US layout (5 = G, 8 = C), found through
// the server's current keymap. A combination another client holds fails with
// eventHotKeyExistsErr and leaves nothing grabbed; so does one this process already registered.
// A key the keymap lacks, unknown modifier bits or options are paramErr; no X server is
// eventInternalErr.
OSStatus RegisterEventHotKey(UInt32 inHotKeyCode, UInt32 inHotKeyModifiers,
                             EventHotKeyID inHotKeyID, EventTargetRef inTarget,
                             OptionBits inOptions, EventHotKeyRef* outRef);
OSStatus UnregisterEventHotKey(EventHotKeyRef inHotKey);

// Where the desktop keeps global shortcuts itself (its settings list them, and the user may change
// their keys there), the names it shows: the application's, under a lasting identifier, and the
// title of the hot keys of each signature, by which they are kept. Set them before registering.
void SetEventHotKeyApplication(const char* identifier, const char* name);
void SetEventHotKeyTitle(OSType signature, const char* title);

// The event-loop hook described above. The descriptor is -1 when the keys cannot be reached (no
// X server, or a shortcut service that stopped answering).
int HotKeyEventsDescriptor();
void DispatchPendingHotKeyEvents();

} // namespace platform::carbon
