#pragma once

// The application's four global hot keys: grab the grabber's rectangle or its whole display, and
// quick-save or copy it. Presses reach the controller's actions on the main event loop.
#include "platform/appkit/AppKit.h"

// Registers the hot keys with the controller as target and sender, reporting each one that
// cannot be had and still setting up the others, and hooks hot-key events into the event loop.
void ConstructGrabberHotKeys(platform::appkit::NSObject& controller);
