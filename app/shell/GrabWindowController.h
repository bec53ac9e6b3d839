#pragma once

// The grab controller's share of the shell: the About item's title, the save defaults (file type,
// folder, creator) and the save size, chosen through their menus and kept in the user defaults.
// Grabbing, copying and saving themselves come with the capture engine.
#include "app/windows/GrabRegionWindow.h"
#include "platform/appkit/NSBitmapImageRep.h"
#include "platform/appkit/NSPasteboard.h"

#include <cstdint>
#include <memory>
#include <string>

class GrabWindowController : public NSObject {
public:
    GrabWindowController();
    virtual void awakeFromNib();
    void restorePreferences(NSMenu* menu);
    void savePreferences(NSMenu* menu);
    void setSaveImageSize(NSSize size) { mSaveImageSize = size; }
    void setSaveImageSizeDefault() { mSaveImageSize = NSMakeSize(0, 0); }

    // Grabbing the grabber's rectangle or its whole display (GrabWindowController_Grab.cpp).
    enum GrabOptions : int {
        kGrabOptionGrabberRect = 1,
        kGrabOptionRaiseWindow = 16,
        kGrabOptionHideWindow = 32,
    };
    void grab(NSObject* sender);
    void grabScreen(NSObject* sender);
    void grabLookpaneScreen(int options);
    uint32_t grabScreenID() const;
    void grabScreenDisplayID_withOptions(uint32_t display, int options);
    int grabScreenOptionsBeforeGrab(int options);
    void grabScreenOptionsAfterGrab_windowLevel(int options, int level);
    NSRect grabberRectangleInScreenCoordinates() const;
    NSRect grabRectScreenCoordinates() const;

    // The grab, its copies and saves (GrabWindowController_Save.cpp).
    bool hasGrabbedImage() const { return mBitmapImageRep != nullptr; }
    bool setGrabbedBitmapImageRep(std::unique_ptr<NSBitmapImageRep> bitmap);
    const NSBitmapImageRep* grabbedBitmapImageRep() const { return mBitmapImageRep.get(); }
    NSSize saveImageSize() const { return mSaveImageSize; }
    // The grab scaled to the save size; null without a grab.
    std::unique_ptr<NSBitmapImageRep> imageRepForSaving() const;
    bool copyToPasteboard(NSPasteboard& pasteboard);
    bool saveGrabImageType(int grabImageType);
    bool saveGrabImageType_withNamedFilePath(int grabImageType, const std::string& path);
    void saveAsGrabImageType(int grabImageType);
    void saveAsFileExtension_withGrabImageType(const char* fileType, int grabImageType);
    bool validateMenuItem(NSMenuItem* item) override;
    // Quick saves go to the "Vistrel" folder in Pictures, made when missing.
    static bool setUpQuickSaveFolder();
    // Removes what saves of an earlier run, killed while saving, left in the quick-save folders.
    static void removeUnfinishedSaves();

    // Outlets.
    GrabRegionWindow* mGrabWindow = nullptr;
    NSMenuItem* mAboutAppMenuItem = nullptr;

    // The image type (ImageFormats.h); folder and creator as their menu's order.
    NSSize mSaveImageSize{0, 0};
    int mDefaultImageType = 0;
    int mDefaultFolder = 0;
    int mDefaultCreator = 0;

private:
    void addGrabSaveActions();
    // Hands the chosen quick-save folder and creator to the quick-save files.
    void applyDefaultChoice(int GrabWindowController::*field);
    // Hands the chosen folder to the quick saves; which folder and why, when it cannot be had.
    std::string useChosenSaveFolder() const;
    std::unique_ptr<NSBitmapImageRep> mBitmapImageRep;
};
