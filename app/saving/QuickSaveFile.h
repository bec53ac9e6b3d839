#pragma once

// Saving an image in one of the image formats, and quick saves to the next free numbered name
// ("Vistrel %04d") in the quick-save folder. Every saved file carries its format's type code and
// the chosen creator application's code. The image class's QuickSaveFile category forwards here:
// the class operations hold one process-wide state, the instance operations save one image.
// Main thread only.
#include "app/saving/CoreNumberedFilename.h"
#include "app/saving/ImageFormats.h"
#include "platform/PlatformTypes.h"
#include "platform/imageio/ImageDescription.h"

#include <cstdint>
#include <optional>
#include <string>

constexpr uint32_t kQuikCreatorPreview = platform::FourCC("prvw");
constexpr uint32_t kQuikCreatorQuickTime = platform::FourCC("TVOD");
constexpr uint32_t kQuikCreatorPhotoshop = platform::FourCC("8BIM");
constexpr uint32_t kQuikCreatoriPhoto = platform::FourCC("iPho");
constexpr double kQuikSaveJPEGCompressionFactor = 0.75;

class QuickSaveFile {
public:
    // The pixels must stay valid while the object saves them.
    explicit QuickSaveFile(const platform::imageio::ImageDescription& inImage) : mImage(inImage) {}

    // Creator application written into saved files ('prvw' at launch).
    static void setQuikCreatorPreviewApp() { setQuikCreatorCode(kQuikCreatorPreview); }
    static void setQuikCreatorQuickTimeApp() { setQuikCreatorCode(kQuikCreatorQuickTime); }
    static void setQuikCreatorPhotoshopApp() { setQuikCreatorCode(kQuikCreatorPhotoshop); }
    static void setQuikCreatoriPhotoApp() { setQuikCreatorCode(kQuikCreatoriPhoto); }
    static void setQuikCreatorCode(uint32_t inCreatorCode);
    static uint32_t defaultQuikCreatorCode();

    // The type used when a name pattern carries no known extension (JPEG at launch).
    static void setQuikSaveImageType(int32_t inImageType);
    static int32_t defaultQuikSaveImageType();

    // The quick-save folder: a standard folder (not created when missing), or any existing
    // folder by path. The most recent call wins.
    static void setQuikSaveLocation(folder_enum_t inLocation);
    static folder_enum_t defaultQuikSaveLocation();
    static bool setQuickSaveFolderUnixPath(const std::string& quickSaveFolderUnixPath);
    static bool setQuickSaveFolderUnixPathUTF8(const char* utf8_unix_path);
    // The folder's path, setting up the standard folder on first use.
    static std::optional<std::string> quickSaveFolderUnixPath();
    // Subfolders of the quick-save folder are not supported: answers false, changes nothing.
    static bool setGrabFolderSubDirectory(const char* inSubDirectory);

    // Writes the type code of the image type and the current creator code to the file,
    // keeping its other attributes; true when they are already there.
    static bool SetFileTypeCreatorCode(const char* in_pathname, int32_t inImageType);

    // The full path of the first free numbered file for the type (a number taken with either
    // of the format's extensions is taken), or nothing.
    std::optional<std::string>
    nextNumberedFileNameString_withQuikSaveImageType(const std::string& inNameFormatString,
                                                     int32_t inImageType) const;
    // Saves to that path; the path written, or nothing.
    std::optional<std::string>
    saveToNextNumberedFileName_withQuikSaveImageType(const std::string& inNameFormatString,
                                                     int32_t inImageType) const;
    // The same with the type the pattern names by an extension, else the default type.
    std::optional<std::string>
    saveToNextNumberedFileName(const std::string& inNameFormatString) const;

    // Writes the whole file atomically, replacing any file there (JPEG at the compression factor
    // above), then sets the codes; a file whose codes could not be set answers false.
    bool saveToPictureFileName_withQuikSaveImageType(const std::string& inFilePathName,
                                                     int32_t inImageType) const;

private:
    static bool ClassInitialize();

    platform::imageio::ImageDescription mImage;

    static CoreNumberedFilename sNumberedFilename;
    static folder_enum_t sDefaultLocation;
    static int32_t sDefaultImageType;
    static uint32_t sCreatorCode;
};
