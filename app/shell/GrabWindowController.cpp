#include "app/shell/GrabWindowController.h"

#include "app/menus/NSMenu_NSUISelectorGroup.h"
#include "app/menus/VistrelSelectorGroups.h"
#include "app/saving/ImageFormats.h"
#include "app/shell/Product.h"

#include <cstdio>
#include <iterator>
#include <vector>

using namespace selectorgroup;

namespace {

struct DefaultChoice {
    const char* selector;
    const tagNSUISelectorGroup* group;
    int GrabWindowController::*field;
    int value;
};

// Besides each format's default choice.
const DefaultChoice kDefaultChoices[] = {
    {"selectDefault_PicturesFolder:", &DefaultFolderSelectorGroup,
     &GrabWindowController::mDefaultFolder, 0},
    {"selectDefault_DesktopFolder:", &DefaultFolderSelectorGroup,
     &GrabWindowController::mDefaultFolder, 1},
    {"selectDefault_DocumentsFolder:", &DefaultFolderSelectorGroup,
     &GrabWindowController::mDefaultFolder, 2},
    {"selectDefault_CreatorPreview:", &DefaultCreatorSelectorGroup,
     &GrabWindowController::mDefaultCreator, 0},
    {"selectDefault_CreatorQuickTime:", &DefaultCreatorSelectorGroup,
     &GrabWindowController::mDefaultCreator, 1},
    {"selectDefault_CreatorPhotoShop:", &DefaultCreatorSelectorGroup,
     &GrabWindowController::mDefaultCreator, 2},
    {"selectDefault_CreatoriPhoto:", &DefaultCreatorSelectorGroup,
     &GrabWindowController::mDefaultCreator, 3},
};

const tagNSUISelectorGroup* const kDefaultsGroups[] = {
    &DefaultFileTypeSelectorGroup, &DefaultFolderSelectorGroup, &DefaultCreatorSelectorGroup};

} // namespace

GrabWindowController::GrabWindowController() {
    std::vector<DefaultChoice> choices(std::begin(kDefaultChoices), std::end(kDefaultChoices));
    for (const ImageFormat& f : kImageFormats)
        choices.push_back({f.defaultAction, &DefaultFileTypeSelectorGroup,
                           &GrabWindowController::mDefaultImageType, f.type});
    for (const DefaultChoice& choice : choices)
        addAction(choice.selector, [this, choice](NSObject* sender) {
            selectSelfFromSelectorGroup(sender, *choice.group);
            this->*choice.field = choice.value;
            applyDefaultChoice(choice.field);
        });
    addGrabSaveActions();
}

void GrabWindowController::awakeFromNib() {
    if (!mAboutAppMenuItem) return;
    char title[64];
    std::snprintf(title, sizeof title, "About %s %s\n", kProductName, kProductVersion);
    mAboutAppMenuItem->setTitle(title);
}

void GrabWindowController::restorePreferences(NSMenu* menu) {
    for (const tagNSUISelectorGroup* group : kDefaultsGroups)
        restoreSelectorGroupPreferences(*menu, *group);
}

void GrabWindowController::savePreferences(NSMenu* menu) {
    for (const tagNSUISelectorGroup* group : kDefaultsGroups)
        saveSelectorGroupPreferences(*menu, *group);
}
