#include "app/saving/QuickSaveFile.h"
#include "core/CoreVerify.h"
#include "platform/files/FinderInfo.h"
#include "platform/imageio/ImageWriters.h"

using namespace platform::imageio;
using platform::kNoErr;

namespace {

// Sets the codes unless the file already has them.
bool FSRef_SetFileTypeCreator(const platform::files::FSRef& fileRef, uint32_t filetype,
                              uint32_t creator) {
    uint32_t type = 0, oldCreator = 0;
    if (platform::files::FSGetFileTypeCreator(fileRef.path, type, oldCreator) != kNoErr)
        return false;
    if (type == filetype && oldCreator == creator) return true;
    return platform::files::FSSetFileTypeCreator(fileRef.path, filetype, creator) == kNoErr;
}

} // namespace

CoreNumberedFilename QuickSaveFile::sNumberedFilename;
folder_enum_t QuickSaveFile::sDefaultLocation = folder_Pictures;
int32_t QuickSaveFile::sDefaultImageType = QuikSaveImageType_JPEG;
uint32_t QuickSaveFile::sCreatorCode = kQuikCreatorPreview;

void QuickSaveFile::setQuikCreatorCode(uint32_t inCreatorCode) {
    sCreatorCode = inCreatorCode;
}

uint32_t QuickSaveFile::defaultQuikCreatorCode() {
    return sCreatorCode;
}

void QuickSaveFile::setQuikSaveImageType(int32_t inImageType) {
    sDefaultImageType = inImageType;
}

int32_t QuickSaveFile::defaultQuikSaveImageType() {
    return sDefaultImageType;
}

void QuickSaveFile::setQuikSaveLocation(folder_enum_t inLocation) {
    sDefaultLocation = inLocation;
    VERIFY(sNumberedFilename.Construct(sDefaultLocation));
}

folder_enum_t QuickSaveFile::defaultQuikSaveLocation() {
    return sDefaultLocation;
}

bool QuickSaveFile::setQuickSaveFolderUnixPath(const std::string& quickSaveFolderUnixPath) {
    return VERIFY(sNumberedFilename.Construct(quickSaveFolderUnixPath.c_str()));
}

bool QuickSaveFile::setQuickSaveFolderUnixPathUTF8(const char* utf8_unix_path) {
    if (!VERIFY(utf8_unix_path)) return false;
    bool fOk;
    // clang-format off
    VERIFY(fOk=sNumberedFilename.Construct(utf8_unix_path));
    // clang-format on
    return fOk;
}

std::optional<std::string> QuickSaveFile::quickSaveFolderUnixPath() {
    if (!VERIFY(ClassInitialize())) return std::nullopt;
    return std::string(sNumberedFilename.DefaultFolderPath());
}

bool QuickSaveFile::setGrabFolderSubDirectory(const char*) {
    return false;
}

bool QuickSaveFile::ClassInitialize() {
    if (sNumberedFilename.IsConstructed()) return true;
    bool fOk;
    // clang-format off
    VERIFY(fOk=sNumberedFilename.Construct(sDefaultLocation));
    // clang-format on
    return fOk;
}

bool QuickSaveFile::SetFileTypeCreatorCode(const char* in_pathname, int32_t inImageType) {
    platform::files::FSRef fileRef;
    if (!VERIFY(bool_FSRef_ConstructFromPath(fileRef, in_pathname))) return false;
    const uint32_t filetype = ImageFormatOfType(inImageType).fileTypeCode, creator = sCreatorCode;
    bool result;
    // clang-format off
    VERIFY(result = FSRef_SetFileTypeCreator(fileRef, filetype, creator ));
    // clang-format on
    return result;
}

std::optional<std::string> QuickSaveFile::nextNumberedFileNameString_withQuikSaveImageType(
    const std::string& inNameFormatString, int32_t inImageType) const {
    if (!VERIFY(ClassInitialize())) return std::nullopt;
    const ImageFormat& format = ImageFormatOfType(inImageType);
    const char* fileExtension = format.extension;
    char firstUnixPathAvailable[kCorePathCapacity];
    // clang-format off
    if (!VERIFY(sNumberedFilename.FindFirstAvailableNamedPath(firstUnixPathAvailable, inNameFormatString.c_str(), fileExtension, format.panelType)))
        return std::nullopt;
    // clang-format on
    return std::string(firstUnixPathAvailable);
}

std::optional<std::string> QuickSaveFile::saveToNextNumberedFileName_withQuikSaveImageType(
    const std::string& inNameFormatString, int32_t inImageType) const {
    std::optional<std::string> path =
        nextNumberedFileNameString_withQuikSaveImageType(inNameFormatString, inImageType);
    if (!path || !saveToPictureFileName_withQuikSaveImageType(*path, inImageType))
        return std::nullopt;
    return path;
}

std::optional<std::string>
QuickSaveFile::saveToNextNumberedFileName(const std::string& inNameFormatString) const {
    const ImageFormat* named = ImageFormatNamedIn(inNameFormatString.c_str());
    return saveToNextNumberedFileName_withQuikSaveImageType(
        inNameFormatString, named ? named->type : sDefaultImageType);
}

bool QuickSaveFile::saveToPictureFileName_withQuikSaveImageType(const std::string& inFilePathName,
                                                                int32_t inImageType) const {
    const ImageFormat& format = ImageFormatOfType(inImageType);
    if (VERIFY_ERR(WriteImage(inFilePathName, mImage, format.encoding,
                              kQuikSaveJPEGCompressionFactor)) != kNoErr)
        return false;
    bool result;
    // clang-format off
    VERIFY(result = SetFileTypeCreatorCode( inFilePathName.c_str(), format.type ));
    // clang-format on
    return result;
}
