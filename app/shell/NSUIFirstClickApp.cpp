#include "app/shell/NSUIFirstClickApp.h"

void NSUIFirstClickApp::sendEvent(const NSEvent& event) {
    if (isActive() || event.type() != NSAppKitDefined) return NSApplication::sendEvent(event);
    NSWindow* window = event.window();
    NSView* view = nullptr;
    NSPoint location = event.locationInWindow();
    if (window && window->contentView()) {
        view = window->contentView()->hitTest(location);
    } else {
        for (NSWindow* candidate : windows()) {
            location = candidate->mouseLocationOutsideOfEventStream();
            if (candidate->contentView() && (view = candidate->contentView()->hitTest(location))) {
                window = candidate;
                break;
            }
        }
    }
    if (!view) return NSApplication::sendEvent(event);
    const NSEvent press = NSEvent::mouseEvent(
        NSRightMouseDown, window->convertBaseToScreen(location), event.modifierFlags(), window, 0);
    if (!view->acceptsFirstMouse(&press)) return NSApplication::sendEvent(event);
    activateIgnoringOtherApps(true);
    window->sendEvent(press);
}
