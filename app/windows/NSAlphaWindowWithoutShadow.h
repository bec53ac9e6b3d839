#pragma once

// A borderless, clear, shadowless window at the normal level, whatever style it is asked for.
// In a clear window only the views that draw are there: the screen shows through the rest.
#include "platform/appkit/AppKit.h"

#include <memory>

using namespace platform::appkit;

class NSAlphaWindowWithoutShadow : public NSWindow {
public:
    NSAlphaWindowWithoutShadow(NSRect contentRect, NSUInteger styleMask, NSUInteger backing,
                               bool defer);
    // Creates a window of class T and runs its subclass hook once the object is complete.
    template <typename T, typename... Arguments>
    static std::unique_ptr<T> initWithContentRect(Arguments&&... arguments) {
        auto window = std::make_unique<T>(std::forward<Arguments>(arguments)...);
        window->NSAlphaWindow_initSubclass();
        return window;
    }
    virtual void NSAlphaWindow_initSubclass() {}
};
