#include "app/menus/VistrelSelectorGroups.h"

#include "app/saving/ImageFormats.h"

#include <array>

namespace {

const tagNSUISelector sGrabberSize[] = {
    NSUI_SELECTOR("selectGrabberSizeResizeable:"),
    NSUI_SELECTOR("selectGrabberSizeWidthHeight:"),
    NSUI_SELECTOR("selectGrabberSizeCustom:"),
    NSUI_SELECTOR("menuSelectGrabberSizeFromSenderText:"),
    NSUI_SELECTOR_END,
};
const tagNSUISelector sGrabberConstrain[] = {
    NSUI_SELECTOR("selectGrabberConstrainNone:"), NSUI_SELECTOR("selectGrabberConstrainSquare:"),
    NSUI_SELECTOR("selectGrabberConstrain4x3:"),  NSUI_SELECTOR("selectGrabberConstrain16x9:"),
    NSUI_SELECTOR("selectGrabberConstrain22x1:"), NSUI_SELECTOR_END,
};
const tagNSUISelector sGrabberToggle[] = {
    NSUI_SELECTOR("menuGrabberFloatAboveMenus:"),
    NSUI_SELECTOR_END,
};
const tagNSUISelector sGrabberSave[] = {
    NSUI_SELECTOR("selectSaveSizeSameAsGrabSize:"),
    NSUI_SELECTOR("selectSaveSizeDimensions:"),
    NSUI_SELECTOR("selectSaveSizeCustom:"),
    NSUI_SELECTOR("menuSaveSizeFromSenderText:"),
    NSUI_SELECTOR_END,
};
const auto sFileType = [] {
    std::array<tagNSUISelector, kImageFormatCount + 1> selectors{};
    for (int i = 0; i < kImageFormatCount; ++i)
        selectors[i] = NSUI_SELECTOR(kImageFormats[i].defaultAction);
    selectors.back() = NSUI_SELECTOR_END;
    return selectors;
}();
const tagNSUISelector sFolder[] = {
    NSUI_SELECTOR("selectDefault_PicturesFolder:"),
    NSUI_SELECTOR("selectDefault_DesktopFolder:"),
    NSUI_SELECTOR("selectDefault_DocumentsFolder:"),
    NSUI_SELECTOR_END,
};
const tagNSUISelector sCreator[] = {
    NSUI_SELECTOR("selectDefault_CreatorPreview:"),
    NSUI_SELECTOR("selectDefault_CreatorQuickTime:"),
    NSUI_SELECTOR("selectDefault_CreatorPhotoShop:"),
    NSUI_SELECTOR("selectDefault_CreatoriPhoto:"),
    NSUI_SELECTOR_END,
};

} // namespace

const tagNSUISelectorGroup GrabberSizeGroup{true, "GrabberSizeGroup", sGrabberSize};
const tagNSUISelectorGroup GrabberConstrainGroup{true, "GrabberConstrainGroup", sGrabberConstrain};
const tagNSUISelectorGroup GrabberToggleGroup{false, "GrabberToggleGroup", sGrabberToggle};
const tagNSUISelectorGroup GrabberSaveGroup{true, "GrabberSaveGroup", sGrabberSave};
const tagNSUISelectorGroup DefaultFileTypeSelectorGroup{true, "DefaultFileTypeSelectorGroup",
                                                        sFileType.data()};
const tagNSUISelectorGroup DefaultFolderSelectorGroup{true, "DefaultFolderSelectorGroup", sFolder};
const tagNSUISelectorGroup DefaultCreatorSelectorGroup{true, "DefaultCreatorSelectorGroup",
                                                       sCreator};
