#include "platform/appkit/NSResponder.h"

namespace platform::appkit {

void NSResponder::mouseDown(const NSEvent& event) {
    if (mNextResponder) mNextResponder->mouseDown(event);
}
void NSResponder::mouseDragged(const NSEvent& event) {
    if (mNextResponder) mNextResponder->mouseDragged(event);
}
void NSResponder::mouseUp(const NSEvent& event) {
    if (mNextResponder) mNextResponder->mouseUp(event);
}
void NSResponder::rightMouseDown(const NSEvent& event) {
    if (mNextResponder) mNextResponder->rightMouseDown(event);
}
void NSResponder::keyDown(const NSEvent& event) {
    if (mNextResponder) mNextResponder->keyDown(event);
}

} // namespace platform::appkit
