#pragma once

// The platform's event record. A mouse event keeps its screen location; its location in the
// window is worked out against the window's frame when asked, so a window moved between an
// event's arrival and its handling still converts the location back to the same screen point.
#include "platform/appkit/AppKitTypes.h"

#include <string>

namespace platform::appkit {

class NSWindow;

class NSEvent {
public:
    NSEvent() = default;
    static NSEvent mouseEvent(NSEventType type, NSPoint screenLocation, NSUInteger modifiers,
                              NSWindow* window, NSInteger clickCount = 1);
    static NSEvent keyEvent(NSEventType type, std::u32string characters, NSUInteger modifiers,
                            NSWindow* window);

    NSEventType type() const { return mType; }
    NSUInteger modifierFlags() const { return mModifiers; }
    NSWindow* window() const { return mWindow; }
    NSInteger clickCount() const { return mClickCount; }
    double timestamp() const { return mTimestamp; }
    // Window coordinates (bottom-left origin); screen coordinates when there is no window.
    NSPoint locationInWindow() const;
    NSPoint screenLocation() const { return mScreenLocation; }
    const std::u32string& characters() const { return mCharacters; }

private:
    NSEventType mType = 0;
    NSUInteger mModifiers = 0;
    NSWindow* mWindow = nullptr;
    NSInteger mClickCount = 0;
    double mTimestamp = 0;
    NSPoint mScreenLocation{0, 0};
    std::u32string mCharacters;
};

} // namespace platform::appkit
