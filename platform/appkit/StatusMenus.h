#pragma once

// Menus on screen: a menu opened at the pointer by a right-button press, and the desktop tray's
// icon with a menu, where the desktop has a tray. Both are built from the menu model each time
// they open, with a check mark on every item whose state is on; an item is enabled when it is
// and its action has someone to go to. Choosing an item sends its action.
#include "platform/appkit/NSMenu.h"

#include <memory>

class QSystemTrayIcon;

namespace platform::appkit {

class NSEvent;

void PopUpContextMenu(NSMenu& menu, const NSEvent& event);

class NSStatusItem {
public:
    NSStatusItem();
    ~NSStatusItem();
    // Whether the desktop has a tray to show the item in now. An item made without one shows up
    // when a tray appears later.
    static bool isAvailable();
    // The icon theme's image of that name, else a plain frame.
    void setImageName(const std::string& name);
    void setMenu(NSMenu* menu);
    void setToolTip(const std::string& text);

private:
    std::unique_ptr<QSystemTrayIcon> mIcon;
    NSMenu* mMenu = nullptr;
    std::string mImageName;
};

} // namespace platform::appkit
