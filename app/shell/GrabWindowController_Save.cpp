// The grab kept by the controller: scaled to the save size, copied to the clipboard, quick-saved
// to the next numbered file, or saved where the save panel says; and the actions that grab first.
#include "app/saving/CoreUserFolder.h"
#include "app/saving/QuickSaveFile.h"
#include "app/shell/GrabWindowController.h"
#include "app/sizes/GrabberSizes.h"
#include "core/CoreMachDebugLog.h"
#include "core/CoreVerify.h"
#include "platform/appkit/NSSavePanel.h"

#include <cmath>
#include <filesystem>

namespace {

const char* const GrabWindowController_NumberedFileFormatString = "Vistrel %04d";

// The save panel's file type of each image type.
const char* PanelFileType(int grabImageType) {
    switch (grabImageType) {
    case QuikSaveImageType_PNG:
        return "png";
    case QuikSaveImageType_TIFF:
        return "tif";
    default:
        return "jpg";
    }
}

// What each save and copy action does: grab first (never, always, or only without a grab), then
// quick-save, copy or run the save panel.
enum class Grab { kNever, kAlways, kWhenNone };
enum class Then { kQuickSave, kCopy, kSaveAs };
struct GrabSaveAction {
    const char* selector;
    Grab grab;
    bool wholeScreen;
    Then then;
    int imageType; // -1: the default type
};
const GrabSaveAction kGrabSaveActions[] = {
    {"grabQuickSave:", Grab::kAlways, false, Then::kQuickSave, -1},
    {"grabScreenQuickSave:", Grab::kAlways, true, Then::kQuickSave, -1},
    {"grabAndCopy:", Grab::kAlways, false, Then::kCopy, -1},
    {"grabScreenAndCopy:", Grab::kAlways, true, Then::kCopy, -1},
    {"copy:", Grab::kNever, false, Then::kCopy, -1},
    {"grabAndSave_JPEG:", Grab::kAlways, false, Then::kSaveAs, QuikSaveImageType_JPEG},
    {"grabAndSave_PNG:", Grab::kAlways, false, Then::kSaveAs, QuikSaveImageType_PNG},
    {"grabAndSave_TIFF:", Grab::kAlways, false, Then::kSaveAs, QuikSaveImageType_TIFF},
    {"saveGrabAs_JPEG:", Grab::kWhenNone, false, Then::kSaveAs, QuikSaveImageType_JPEG},
    {"saveGrabAs_PNG:", Grab::kWhenNone, false, Then::kSaveAs, QuikSaveImageType_PNG},
    {"saveGrabAs_TIFF:", Grab::kWhenNone, false, Then::kSaveAs, QuikSaveImageType_TIFF},
    {"saveAs:", Grab::kNever, false, Then::kSaveAs, -1},
};

// Menu items that need a grab.
const char* const kNeedsGrab[] = {
    "save:", "saveAs:", "copy:", "saveGrabAs_JPEG:", "saveGrabAs_PNG:", "saveGrabAs_TIFF:"};

} // namespace

void GrabWindowController::addGrabSaveActions() {
    addAction("grab:", &GrabWindowController::grab);
    addAction("grabScreen:", &GrabWindowController::grabScreen);
    for (const GrabSaveAction& a : kGrabSaveActions)
        addAction(a.selector, [this, &a](NSObject* sender) {
            if (a.grab == Grab::kAlways || (a.grab == Grab::kWhenNone && !hasGrabbedImage()))
                a.wholeScreen ? grabScreen(sender) : grab(sender);
            const int type = a.imageType < 0 ? mDefaultImageType : a.imageType;
            switch (a.then) {
            case Then::kQuickSave:
                if (hasGrabbedImage()) saveGrabImageType(type);
                break;
            case Then::kCopy:
                if (VERIFY(hasGrabbedImage())) copyToPasteboard(NSPasteboard::generalPasteboard());
                break;
            case Then::kSaveAs:
                if (hasGrabbedImage()) saveAsGrabImageType(type);
                break;
            }
        });
}

void GrabWindowController::applyDefaultChoice(int GrabWindowController::*field) {
    if (field == &GrabWindowController::mDefaultImageType) {
        QuickSaveFile::setQuikSaveImageType(mDefaultImageType);
    } else if (field == &GrabWindowController::mDefaultFolder) {
        // Pictures means the "Vistrel" folder in it, where quick saves go from the start. Desktop
        // and Documents are made when the session never made them, so the choice always holds; a
        // folder that cannot be had sends quick saves back to Pictures, and says so.
        using namespace platform::files;
        const int chosen = mDefaultFolder == 0 ? 0 : mDefaultFolder == 1 ? 1 : 2;
        const uint32_t kFolders[] = {kPictureDocumentsFolderType, kDesktopFolderType,
                                     kDocumentsFolderType};
        std::string path;
        const CoreUserFolder folder(chosen == 0 ? "Vistrel" : nullptr, kFolders[chosen],
                                    kUserDomain);
        if (!folder.GetUnixPath(path) || !QuickSaveFile::setQuickSaveFolderUnixPath(path)) {
            CoreMachDebugLog("Vistrel: the chosen save folder cannot be had; quick saves go to "
                             "Pictures/Vistrel\n");
            setUpQuickSaveFolder();
        }
    } else if (field == &GrabWindowController::mDefaultCreator) {
        const uint32_t kCreators[] = {kQuikCreatorPreview, kQuikCreatorQuickTime,
                                      kQuikCreatorPhotoshop, kQuikCreatoriPhoto};
        if (mDefaultCreator >= 0 && mDefaultCreator < 4)
            QuickSaveFile::setQuikCreatorCode(kCreators[mDefaultCreator]);
    }
}

bool GrabWindowController::setUpQuickSaveFolder() {
    std::string sUserPictureVistrelPath;
    const CoreUserFolder UserPicturesVistrel(
        "Vistrel", platform::files::kPictureDocumentsFolderType, platform::files::kUserDomain);
    if (!VERIFY(UserPicturesVistrel.GetUnixPath(sUserPictureVistrelPath))) return false;
    return QuickSaveFile::setQuickSaveFolderUnixPathUTF8(sUserPictureVistrelPath.c_str());
}

bool GrabWindowController::setGrabbedBitmapImageRep(std::unique_ptr<NSBitmapImageRep> bitmap) {
    mBitmapImageRep = std::move(bitmap);
    return mBitmapImageRep != nullptr;
}

std::unique_ptr<NSBitmapImageRep> GrabWindowController::imageRepForSaving() const {
    if (!mBitmapImageRep) return nullptr;
    const NSSize grabbed = mBitmapImageRep->size();
    const auto target = sizes::SaveImageSizeForGrab({grabbed.width, grabbed.height},
                                                    {mSaveImageSize.width, mSaveImageSize.height});
    const int width = int(std::lround(target.width)), height = int(std::lround(target.height));
    if (width == mBitmapImageRep->pixelsWide() && height == mBitmapImageRep->pixelsHigh())
        return std::make_unique<NSBitmapImageRep>(*mBitmapImageRep);
    std::unique_ptr<NSBitmapImageRep> smallImage = mBitmapImageRep->scaledToSize(width, height);
    // A size the writers cannot take saves the grab unscaled.
    if (!VERIFY(smallImage)) return std::make_unique<NSBitmapImageRep>(*mBitmapImageRep);
    return smallImage;
}

bool GrabWindowController::copyToPasteboard(NSPasteboard& pasteboard) {
    const std::unique_ptr<NSBitmapImageRep> saveImageRep = imageRepForSaving();
    if (!VERIFY(saveImageRep)) return false;
    // TIFF, and PNG beside it: most programs here paste PNG.
    pasteboard.declareTypes_owner({NSTIFFPboardType, NSPNGPboardType}, nullptr);
    const bool tiff =
        pasteboard.setData_forType(saveImageRep->TIFFRepresentation(), NSTIFFPboardType);
    const bool png = pasteboard.setData_forType(
        saveImageRep->representationUsingType(platform::appkit::NSPNGFileType), NSPNGPboardType);
    return VERIFY(tiff) && VERIFY(png);
}

bool GrabWindowController::saveGrabImageType(int grabImageType) {
    if (!VERIFY(hasGrabbedImage())) return false;
    // The chosen folder is found again, and made again when it went away since it was chosen.
    applyDefaultChoice(&GrabWindowController::mDefaultFolder);
    const std::unique_ptr<NSBitmapImageRep> saveImageRep = imageRepForSaving();
    if (!VERIFY(saveImageRep)) return false;
    const QuickSaveFile file(saveImageRep->imageDescription());
    return VERIFY(file.saveToNextNumberedFileName_withQuikSaveImageType(
        GrabWindowController_NumberedFileFormatString, grabImageType));
}

bool GrabWindowController::saveGrabImageType_withNamedFilePath(int grabImageType,
                                                               const std::string& path) {
    if (!VERIFY(hasGrabbedImage()) || !VERIFY(!path.empty())) return false;
    const std::unique_ptr<NSBitmapImageRep> saveImageRep = imageRepForSaving();
    if (!VERIFY(saveImageRep)) return false;
    const QuickSaveFile file(saveImageRep->imageDescription());
    return VERIFY(file.saveToPictureFileName_withQuikSaveImageType(path, grabImageType));
}

void GrabWindowController::saveAsGrabImageType(int grabImageType) {
    saveAsFileExtension_withGrabImageType(PanelFileType(grabImageType), grabImageType);
}

void GrabWindowController::saveAsFileExtension_withGrabImageType(const char* fileType,
                                                                 int grabImageType) {
    if (!VERIFY(mBitmapImageRep)) return;
    applyDefaultChoice(&GrabWindowController::mDefaultFolder);
    platform::appkit::NSSavePanel panel = platform::appkit::NSSavePanel::savePanel();
    panel.setRequiredFileType(fileType);
    // The proposed name is the quick-save folder's next number; it is not reserved.
    const QuickSaveFile file(mBitmapImageRep->imageDescription());
    const std::optional<std::string> next = file.nextNumberedFileNameString_withQuikSaveImageType(
        GrabWindowController_NumberedFileFormatString, grabImageType);
    const std::string name = next ? std::filesystem::path(*next).stem().string() : "";
    const std::string folder = QuickSaveFile::quickSaveFolderUnixPath().value_or("");
    if (panel.runModalForDirectory_file(folder, name) ==
            platform::appkit::NSFileHandlingPanelOKButton &&
        !panel.filename().empty())
        saveGrabImageType_withNamedFilePath(grabImageType, panel.filename());
}

bool GrabWindowController::validateMenuItem(NSMenuItem* item) {
    const char* action = item ? NSStringFromSelector(item->action()) : nullptr;
    if (!action) return true;
    for (const char* needsGrab : kNeedsGrab)
        if (std::string_view(action) == needsGrab) return hasGrabbedImage();
    return true;
}
