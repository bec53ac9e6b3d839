#include "app/shell/GrabberMenus.h"

#include "app/saving/ImageFormats.h"
#include "app/shell/Product.h"

#include <initializer_list>
#include <string>
#include <vector>

namespace {

// One line of a menu: a title and its action; no action is a separator. The target is the
// controller unless the line names another.
struct Line {
    const char* title;
    const char* action = nullptr;
    const char* key = "";
    NSObject* target = nullptr;
};

std::unique_ptr<NSMenu> Menu(const char* title, const std::vector<Line>& lines,
                             NSObject* defaultTarget) {
    auto menu = std::make_unique<NSMenu>(title);
    for (const Line& line : lines) {
        if (!line.action) {
            menu->addItem(NSMenuItem::separatorItem());
            continue;
        }
        NSMenuItem* item =
            menu->addItemWithTitle(line.title, NSSelectorFromString(line.action), line.key);
        item->setTarget(line.target ? line.target : defaultTarget);
    }
    return menu;
}

NSMenu* AddSubmenu(NSMenu& parent, std::unique_ptr<NSMenu> submenu) {
    NSMenuItem* holder = parent.addItemWithTitle(submenu->title(), SEL(), "");
    NSMenu* added = submenu.get();
    holder->setSubmenu(std::move(submenu));
    return added;
}

} // namespace

std::unique_ptr<NSMenu> BuildGrabberMenu(GrabberController& c, GrabRegionWindow& window) {
    auto root = std::make_unique<NSMenu>(kProductName);
    NSMenuItem* about =
        root->addItemWithTitle("About", NSSelectorFromString("orderFrontStandardAboutPanel:"), "");
    about->setTarget(&c);
    c.mAboutAppMenuItem = about;
    root->addItem(NSMenuItem::separatorItem());

    c.mGrabberSizeMenu =
        AddSubmenu(*root, Menu("Grabber Size",
                               {{"Any Size", "selectGrabberSizeResizeable:"},
                                {"320 x 240", "menuSelectGrabberSizeFromSenderText:"},
                                {"640 x 480", "selectGrabberSizeWidthHeight:"},
                                {"800 x 600", "menuSelectGrabberSizeFromSenderText:"},
                                {"1024 x 768", "menuSelectGrabberSizeFromSenderText:"},
                                {"1280 x 720", "menuSelectGrabberSizeFromSenderText:"},
                                {"Custom...", "selectGrabberSizeCustom:"},
                                {""},
                                {"Float Above Menus", "menuGrabberFloatAboveMenus:"}},
                               &c));
    c.mGrabberSizeCustomMenuItem = c.mGrabberSizeMenu->itemWithTitle("Custom...");
    c.mGrabberConstrainMenu = AddSubmenu(*root, Menu("Constrain",
                                                     {{"None", "selectGrabberConstrainNone:"},
                                                      {"Square", "selectGrabberConstrainSquare:"},
                                                      {"4:3", "selectGrabberConstrain4x3:"},
                                                      {"16:9", "selectGrabberConstrain16x9:"},
                                                      {"2.21:1", "selectGrabberConstrain22x1:"}},
                                                     &c));
    c.mGrabberSaveMenu =
        AddSubmenu(*root, Menu("Save Size",
                               {{"Same as Grab Size", "selectSaveSizeSameAsGrabSize:"},
                                {"640 x 480", "selectSaveSizeDimensions:"},
                                {"320 x 240", "menuSaveSizeFromSenderText:"},
                                {"160 x 120", "menuSaveSizeFromSenderText:"},
                                {"Custom...", "selectSaveSizeCustom:"}},
                               &c));
    c.mGrabberSaveCustomMenuItem = c.mGrabberSaveMenu->itemWithTitle("Custom...");
    std::vector<Line> defaults;
    for (const ImageFormat& f : kImageFormats)
        defaults.push_back({f.name, f.defaultAction});
    defaults.insert(defaults.end(), {{""},
                                     {"Pictures Folder", "selectDefault_PicturesFolder:"},
                                     {"Desktop Folder", "selectDefault_DesktopFolder:"},
                                     {"Documents Folder", "selectDefault_DocumentsFolder:"},
                                     {""},
                                     {"Creator: Preview", "selectDefault_CreatorPreview:"},
                                     {"Creator: QuickTime", "selectDefault_CreatorQuickTime:"},
                                     {"Creator: PhotoShop", "selectDefault_CreatorPhotoShop:"},
                                     {"Creator: iPhoto", "selectDefault_CreatoriPhoto:"}});
    c.mGrabDefaultsMenu = AddSubmenu(*root, Menu("Save Defaults", defaults, &c));
    AddSubmenu(*root, Menu("Move and Size",
                           {{"Move Left", "menuMoveLookpaneLeft:"},
                            {"Move Right", "menuMoveLookpaneRight:"},
                            {"Move Up", "menuMoveLookpaneUp:"},
                            {"Move Down", "menuMoveLookpaneDown:"},
                            {""},
                            {"Narrow", "menuSizeLookpaneNarrow:"},
                            {"Widen", "menuSizeLookpaneWiden:"},
                            {"Taller", "menuSizeLookpaneTaller:"},
                            {"Shorter", "menuSizeLookpaneShorter:"}},
                           &c));
    root->addItem(NSMenuItem::separatorItem());
    // Broadcasting arrives with the broadcast control: until then its item has no one to answer
    // it and stays disabled; copy and save stay disabled while there is no grab.
    for (const Line& line : {Line{"Grab and Save", "grabQuickSave:", "g"},
                             Line{"Grab Screen and Save", "grabScreenQuickSave:"},
                             Line{"Grab and Copy", "grabAndCopy:", "c"},
                             Line{"Grab Screen and Copy", "grabScreenAndCopy:"},
                             Line{"Copy", "copy:"}, Line{"Save As...", "saveAs:", "s"}})
        root->addItemWithTitle(line.title, NSSelectorFromString(line.action), line.key)
            ->setTarget(&c);
    // The Save Grab items, in type order.
    for (int32_t type = 0; type < kImageFormatCount; ++type) {
        const ImageFormat& f = ImageFormatOfType(type);
        root->addItemWithTitle(std::string("Save Grab as ") + f.name + "...",
                               NSSelectorFromString(f.saveAsAction), "")
            ->setTarget(&c);
    }
    root->addItemWithTitle("Broadcast...", NSSelectorFromString("showBroadcastPanel:"), "")
        ->setTarget(&c);
    root->addItem(NSMenuItem::separatorItem());
    root->addItemWithTitle("Show or Hide Grabber", NSSelectorFromString("showHideGrabber:"), "h")
        ->setTarget(&window);
    root->addItemWithTitle("Quit Vistrel", NSSelectorFromString("terminate:"), "q")
        ->setTarget(NSApp());
    return root;
}
