// The custom items of the grabber-size and save-size menus: each opens its panel on the size in
// force and applies the size its title holds.
#include "app/menus/NSMenu_NSUISelectorGroup.h"
#include "app/menus/VistrelSelectorGroups.h"
#include "app/shell/CustomSizePanels.h"
#include "app/shell/GrabberController.h"
#include "app/sizes/NSSizeFromMenuText.h"
#include "app/windows/MouseMoveSizeMath.h"
#include "core/CoreVerify.h"

using namespace selectorgroup;

namespace {

// Attaches the custom item to the panel: on its first use it starts from the item marked in the
// group, later from its own title.
void AttachCustomItem(CustomSizePanel* panel, NSMenuItem& item, const Group& group) {
    if (!panel) return;
    NSMenuItem* marked =
        item.menu() ? selectedMenuItemFromSelectorGroup(*item.menu(), group) : nullptr;
    if (marked && marked != &item &&
        sizes::sizeFromMenuTextWithCustomPrefixIsDefault(item.title().c_str()))
        panel->attachMenuItem_withSizeFromMenuItem(&item, marked);
    else
        panel->attachMenuItem(&item);
}

} // namespace

void GrabberController::addCustomSizeActions() {
    // A panel over the grab view would be in the next grab.
    CustomSizePanel::setPlacement([this](NSWindow& panel) {
        if (!mGrabWindow) return;
        std::optional<NSScreen> screen = mGrabWindow->screen();
        if (!screen) screen = NSScreen::mainScreen();
        if (!screen) return;
        panel.setFrameOrigin(mousemovesize::FrameClearOf(panel.frame().size, mGrabWindow->frame(),
                                                         grabberRectangleInScreenCoordinates(),
                                                         screen->frame())
                                 .origin);
    });
    addAction("menuSelectGrabberSizeFromCustomSenderText:", [this](NSObject* sender) {
        auto* item = dynamic_cast<NSMenuItem*>(sender);
        if (!VERIFY(item)) return;
        selectSelfFromSelectorGroup(sender, GrabberSizeGroup);
        menuGrabberViewSize(sizes::sizeFromMenuTextWithCustomPrefix(item->title().c_str()));
        if (mGrabWindow) mGrabWindow->grabResizeModeChanged(sender);
    });
    addAction("selectGrabberSizeCustom:", [this](NSObject* sender) {
        auto* item = dynamic_cast<NSMenuItem*>(sender);
        if (!VERIFY(item)) return;
        AttachCustomItem(CustomSizePanel::sharedInstanceSizePanel(), *item, GrabberSizeGroup);
        selectSelfFromSelectorGroup(sender, GrabberSizeGroup);
        performSelector(NSSelectorFromString("menuSelectGrabberSizeFromCustomSenderText:"), sender);
    });
    addAction("selectSaveSizeCustom:", [this](NSObject* sender) {
        auto* item = dynamic_cast<NSMenuItem*>(sender);
        if (!VERIFY(item)) return;
        AttachCustomItem(CustomSavePanel::sharedInstanceSavePanel(), *item, GrabberSaveGroup);
        selectSelfFromSelectorGroup(sender, GrabberSaveGroup);
        setSaveImageSize(sizes::sizeFromMenuTextWithCustomPrefix(item->title().c_str()));
    });
    addAction("menuWindowGrabSize:", [this](NSObject*) {
        performSelector(NSSelectorFromString("selectGrabberSizeCustom:"),
                        mGrabberSizeCustomMenuItem);
    });
    addAction("menuWindowSaveSize:", [this](NSObject*) {
        performSelector(NSSelectorFromString("selectSaveSizeCustom:"), mGrabberSaveCustomMenuItem);
    });
}
