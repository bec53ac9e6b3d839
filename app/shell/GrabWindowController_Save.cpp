// The grab kept by the controller: scaled to the save size, copied to the clipboard, quick-saved
// to the next numbered file, or saved where the save panel says; and the actions that grab first.
// Each copy and save, and each failure, is told to the user.
#include "app/saving/CoreUserFolder.h"
#include "app/saving/QuickSaveFile.h"
#include "app/shell/GrabWindowController.h"
#include "app/shell/UserFeedback.h"
#include "app/sizes/GrabberSizes.h"
#include "core/CoreMachDebugLog.h"
#include "core/CoreVerify.h"
#include "platform/appkit/NSSavePanel.h"
#include "platform/files/AtomicFile.h"

#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <vector>

using namespace platform::files;

namespace {

const char* const GrabWindowController_NumberedFileFormatString = "Vistrel %04d";
const char* const kCouldNotSave = "Could not save the grab";
// Temporary files of saves older than this run were left by one that ended while saving.
const std::time_t kLaunchTime = std::time(nullptr);

// The quick-save folders of the Save Defaults menu, in its order: a subfolder or none.
struct SaveFolder {
    uint32_t type;
    const char* subfolder;
};
const SaveFolder kSaveFolders[] = {
    {kPictureDocumentsFolderType, "Vistrel"},
    {kDesktopFolderType, nullptr},
    {kDocumentsFolderType, nullptr},
};

// Why the file could not be written, in plain words after the file's or its folder's path.
std::string WriteProblem(const std::string& path) {
    const std::string folder = std::filesystem::path(path).parent_path();
    if (const int error = AtomicFile::LastError())
        return path + " could not be written: " + std::strerror(error);
    if (const std::string why = FolderProblem(folder); !why.empty()) return folder + " " + why;
    return path + " could not be written";
}

// Tells the user where the file went, or why it did not.
bool TellSaved(bool saved, const std::string& path) {
    const std::filesystem::path file(path);
    if (saved)
        TellUser("Saved " + file.filename().string(), "in " + file.parent_path().string(),
                 file.parent_path());
    else
        TellUser(kCouldNotSave, WriteProblem(path));
    return saved;
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
    {"saveAs:", Grab::kNever, false, Then::kSaveAs, -1},
};

// Menu items that need a grab, besides each format's Save Grab as.
const char* const kNeedsGrab[] = {"save:", "saveAs:", "copy:"};

} // namespace

void GrabWindowController::addGrabSaveActions() {
    addAction("grab:", &GrabWindowController::grab);
    addAction("grabScreen:", &GrabWindowController::grabScreen);
    std::vector<GrabSaveAction> actions(std::begin(kGrabSaveActions), std::end(kGrabSaveActions));
    for (const ImageFormat& f : kImageFormats) {
        actions.push_back({f.grabAndSaveAction, Grab::kAlways, false, Then::kSaveAs, f.type});
        actions.push_back({f.saveAsAction, Grab::kWhenNone, false, Then::kSaveAs, f.type});
    }
    for (const GrabSaveAction& a : actions)
        addAction(a.selector, [this, a](NSObject* sender) {
            if (a.grab == Grab::kAlways || (a.grab == Grab::kWhenNone && !hasGrabbedImage())) {
                const NSBitmapImageRep* before = grabbedBitmapImageRep();
                a.wholeScreen ? grabScreen(sender) : grab(sender);
                // A failed grab was told; the grab before it is not passed off as this one.
                if (grabbedBitmapImageRep() == before) return;
            }
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
        useChosenSaveFolder();
    } else if (field == &GrabWindowController::mDefaultCreator) {
        const uint32_t kCreators[] = {kQuikCreatorPreview, kQuikCreatorQuickTime,
                                      kQuikCreatorPhotoshop, kQuikCreatoriPhoto};
        if (mDefaultCreator >= 0 && mDefaultCreator < 4)
            QuickSaveFile::setQuikCreatorCode(kCreators[mDefaultCreator]);
    }
}

std::string GrabWindowController::useChosenSaveFolder() const {
    // Pictures means the "Vistrel" folder in it, where quick saves go from the start. Desktop
    // and Documents are made when the session never made them, so the choice always holds. A
    // folder that cannot be had takes no saves, and no other folder takes them in its place.
    const SaveFolder& chosen = kSaveFolders[mDefaultFolder == 0 ? 0 : mDefaultFolder == 1 ? 1 : 2];
    std::string path;
    const CoreUserFolder folder(chosen.subfolder, chosen.type, kUserDomain);
    if (folder.GetUnixPath(path) && QuickSaveFile::setQuickSaveFolderUnixPath(path)) return "";
    return folder.Problem();
}

void GrabWindowController::removeUnfinishedSaves() {
    for (const SaveFolder& f : kSaveFolders) {
        std::string folder = StandardFolderPath(kUserDomain, f.type);
        if (f.subfolder) folder += std::string("/") + f.subfolder;
        if (const int removed = AtomicFile::RemoveStale(folder, kLaunchTime))
            CoreMachDebugLog("Vistrel: removed %d unfinished save%s from %s, left by a run that "
                             "ended while saving\n",
                             removed, removed == 1 ? "" : "s", folder.c_str());
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
    if (mBitmapImageRep && mGrabWindow) mGrabWindow->flashFrame();
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
    const bool copied = VERIFY(tiff) && VERIFY(png);
    if (copied)
        TellUser("Copied the grab", std::to_string(saveImageRep->pixelsWide()) + " x " +
                                        std::to_string(saveImageRep->pixelsHigh()) +
                                        " pixels, on the clipboard");
    else
        TellUser("Could not copy the grab", "the clipboard did not take the image");
    return copied;
}

bool GrabWindowController::saveGrabImageType(int grabImageType) {
    if (!VERIFY(hasGrabbedImage())) return false;
    // The chosen folder is found again, and made again when it went away since it was chosen.
    if (const std::string problem = useChosenSaveFolder(); !problem.empty()) {
        TellUser(kCouldNotSave, problem);
        return false;
    }
    const std::unique_ptr<NSBitmapImageRep> saveImageRep = imageRepForSaving();
    if (!VERIFY(saveImageRep)) return false;
    const QuickSaveFile file(saveImageRep->imageDescription());
    const std::optional<std::string> next = file.nextNumberedFileNameString_withQuikSaveImageType(
        GrabWindowController_NumberedFileFormatString, grabImageType);
    if (!next) {
        TellUser(kCouldNotSave, "every name from Vistrel 0000 to Vistrel 0999 is taken in " +
                                    QuickSaveFile::quickSaveFolderUnixPath().value_or(""));
        return false;
    }
    return TellSaved(VERIFY(file.saveToPictureFileName_withQuikSaveImageType(*next, grabImageType)),
                     *next);
}

bool GrabWindowController::saveGrabImageType_withNamedFilePath(int grabImageType,
                                                               const std::string& path) {
    if (!VERIFY(hasGrabbedImage()) || !VERIFY(!path.empty())) return false;
    const std::unique_ptr<NSBitmapImageRep> saveImageRep = imageRepForSaving();
    if (!VERIFY(saveImageRep)) return false;
    const QuickSaveFile file(saveImageRep->imageDescription());
    return TellSaved(VERIFY(file.saveToPictureFileName_withQuikSaveImageType(path, grabImageType)),
                     path);
}

void GrabWindowController::saveAsGrabImageType(int grabImageType) {
    saveAsFileExtension_withGrabImageType(ImageFormatOfType(grabImageType).panelType,
                                          grabImageType);
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
    for (const ImageFormat& f : kImageFormats)
        if (std::string_view(action) == f.saveAsAction) return hasGrabbedImage();
    return true;
}
