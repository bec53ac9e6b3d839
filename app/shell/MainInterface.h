#pragma once

// The main interface, built in code: the grabber window with its views, the application's menu
// with its items, actions and targets, the About window and the tray icon. The returned object
// owns all of it.
#include "platform/appkit/AppKit.h"

#include <memory>

std::unique_ptr<platform::appkit::NSObject> LoadMainInterface(platform::appkit::NSApplication& app);
