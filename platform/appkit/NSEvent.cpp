#include "platform/appkit/NSEvent.h"

#include "platform/appkit/NSWindow.h"

#include <chrono>

namespace platform::appkit {

namespace {

double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

NSEvent NSEvent::mouseEvent(NSEventType type, NSPoint screenLocation, NSUInteger modifiers,
                            NSWindow* window, NSInteger clickCount) {
    NSEvent event;
    event.mType = type;
    event.mScreenLocation = screenLocation;
    event.mModifiers = modifiers;
    event.mWindow = window;
    event.mClickCount = clickCount;
    event.mTimestamp = Now();
    return event;
}

NSEvent NSEvent::keyEvent(NSEventType type, std::u32string characters, NSUInteger modifiers,
                          NSWindow* window) {
    NSEvent event;
    event.mType = type;
    event.mCharacters = std::move(characters);
    event.mModifiers = modifiers;
    event.mWindow = window;
    event.mTimestamp = Now();
    return event;
}

NSPoint NSEvent::locationInWindow() const {
    return mWindow ? mWindow->convertScreenToBase(mScreenLocation) : mScreenLocation;
}

} // namespace platform::appkit
