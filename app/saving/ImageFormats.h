#pragma once

// The image formats grabs are saved in, one row each: everything the quick saves, the save
// panels, the menus and the save-defaults group know about a format. A new format is a row here
// (with its type) and its encoder in the image writers.
#include "platform/PlatformTypes.h"
#include "platform/imageio/ImageWriters.h"

#include <cstdint>
#include <iterator>

// The image types, as the controller and the quick saves pass them.
enum QuikSaveImageType : int32_t {
    QuikSaveImageType_JPEG = 0, // also any value without a row
    QuikSaveImageType_PNG = 1,
    QuikSaveImageType_TIFF = 2,
};

struct ImageFormat {
    QuikSaveImageType type;
    // Its title in the Save Defaults menu, and in "Save Grab as <name>...".
    const char* name;
    // The extension of numbered names. Saved files and their numbering depend on it.
    const char* extension;
    // The extension the save panel requires. A name with either extension stands for the
    // format, and a number taken with one is taken for both.
    const char* panelType;
    uint32_t fileTypeCode;
    platform::imageio::NSBitmapImageFileType encoding;
    // The actions that choose it as the default (its name is kept in the user defaults), save the
    // grab as it through the panel, and grab first then do that.
    const char* defaultAction;
    const char* saveAsAction;
    const char* grabAndSaveAction;
};

// In the order of the Save Defaults menu and its selector group, whose first entry is the
// default at a first launch.
inline constexpr ImageFormat kImageFormats[] = {
    {QuikSaveImageType_JPEG, "JPEG", "jpg", "jpg", platform::FourCC("JPEG"),
     platform::imageio::NSJPEGFileType,
     "selectDefault_SaveJPEG:", "saveGrabAs_JPEG:", "grabAndSave_JPEG:"},
    {QuikSaveImageType_TIFF, "TIFF", "tiff", "tif", platform::FourCC("TIFF"),
     platform::imageio::NSTIFFFileType,
     "selectDefault_SaveTIFF:", "saveGrabAs_TIFF:", "grabAndSave_TIFF:"},
    {QuikSaveImageType_PNG, "PNG", "png", "png", platform::FourCC("PNGf"),
     platform::imageio::NSPNGFileType,
     "selectDefault_SavePNG:", "saveGrabAs_PNG:", "grabAndSave_PNG:"},
};
inline constexpr int kImageFormatCount = int(std::size(kImageFormats));

// The row of a type; JPEG's for a type without one.
const ImageFormat& ImageFormatOfType(int32_t type);
// The format a name pattern or path names by one of its extensions (".jpg", ".png", ".tif" or
// ".tiff" anywhere in it), trying the types in their order; null when it names none.
const ImageFormat* ImageFormatNamedIn(const char* name);
