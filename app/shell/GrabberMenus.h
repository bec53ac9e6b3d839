#pragma once

// The application's menu, built in code: one menu opened from the grabber window's context menu
// and from the desktop tray, with a submenu per choice group.
#include "app/shell/GrabberController.h"

#include <memory>

// Builds the menu and connects the controller's menu outlets to its submenus.
std::unique_ptr<NSMenu> BuildGrabberMenu(GrabberController& controller, GrabRegionWindow& window);
