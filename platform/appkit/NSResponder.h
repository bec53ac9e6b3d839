#pragma once

// The responder chain: a view passes what it does not handle to its superview, the content
// view to its window.
#include "platform/appkit/AppKitTypes.h"
#include "platform/appkit/NSObject.h"

namespace platform::appkit {

class NSEvent;

class NSResponder : public NSObject {
public:
    void setNextResponder(NSResponder* next) { mNextResponder = next; }

    virtual void mouseDown(const NSEvent& event);
    virtual void mouseDragged(const NSEvent& event);
    virtual void mouseUp(const NSEvent& event);
    virtual void rightMouseDown(const NSEvent& event);
    virtual void keyDown(const NSEvent& event);

private:
    NSResponder* mNextResponder = nullptr;
};

} // namespace platform::appkit
