#pragma once

// The grab controller's share of the shell: the About item's title, the save defaults (file type,
// folder, creator) and the save size, chosen through their menus and kept in the user defaults.
// Grabbing, copying and saving themselves come with the capture engine.
#include "app/windows/GrabRegionWindow.h"

class GrabWindowController : public NSObject {
public:
    GrabWindowController();
    virtual void awakeFromNib();
    void restorePreferences(NSMenu* menu);
    void savePreferences(NSMenu* menu);
    void setSaveImageSize(NSSize size) { mSaveImageSize = size; }
    void setSaveImageSizeDefault() { mSaveImageSize = NSMakeSize(0, 0); }

    // Outlets.
    GrabRegionWindow* mGrabWindow = nullptr;
    NSMenuItem* mAboutAppMenuItem = nullptr;

    // Image types 0 JPEG, 1 PNG, 2 TIFF; folder and creator as their menu's order.
    NSSize mSaveImageSize{0, 0};
    int mDefaultImageType = 0;
    int mDefaultFolder = 0;
    int mDefaultCreator = 0;
};
