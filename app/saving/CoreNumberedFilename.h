#pragma once

// A folder and the search for the first free numbered name in it: "Vistrel %04d" with "png"
// gives the first of Vistrel 0000.png, Vistrel 0001.png, ... that does not exist, so a gap
// left by a deleted file is filled first. Each extension numbers on its own.
#include "app/saving/CoreFSRefPath.h"

#include <cstdint>

// The standard user folders quick saves can go to.
enum folder_enum_t : int32_t {
    folder_Pictures = 0,
    folder_Desktop = 1, // also every value not listed
    folder_DesktopPictures = 2,
    folder_Documents = 3,
    folder_Music = 4,
};

uint32_t LocationFromEnum(folder_enum_t inFolderEnum);

class CoreNumberedFilename {
public:
    static constexpr int kMaxNumberedNames = 1000;

    CoreNumberedFilename() { sUserDefaultFolderPath[0] = 0; }

    // The user's standard folder, which must exist (it is not created).
    bool Construct(folder_enum_t inFolderEnum);
    bool Construct(uint32_t inFolderLocation);
    // An existing folder by its path, kept normalised.
    bool Construct(const char* inFolderUnixPath);
    // Whether the folder was found and still exists.
    bool IsConstructed() const;
    // The folder's path; reported but still answered when not constructed.
    const char* DefaultFolderPath() const;

    // The first free "<folder>/<format with n>.<extension>" for n = 0..999 and its n; a name
    // that exists with the other extension, when one is given, is taken too. The format must
    // hold exactly one integer conversion (and "%%" otherwise). False, with the output cleared,
    // when not constructed, the format is unusable, the name or path would exceed the file
    // system's or the 1024-byte limit (refused, never cut), a name cannot be checked, or all 1000
    // names are taken (the only failure without a report).
    bool FindFirstAvailableNamedPathNumber(char (&outPath)[kCorePathCapacity],
                                           const char* inNameFormat, const char* inExtension,
                                           int* outNumber,
                                           const char* inOtherExtension = nullptr) const;
    bool FindFirstAvailableNamedPath(char (&outPath)[kCorePathCapacity], const char* inNameFormat,
                                     const char* inExtension,
                                     const char* inOtherExtension = nullptr) const;
    bool FindFirstAvailableNamedFileNumber(const char* inNameFormat, const char* inExtension,
                                           int* outNumber) const;

private:
    void Empty();

    platform::files::FSRef sUserDefaultFolder;
    char sUserDefaultFolderPath[kCorePathCapacity];
};

// Whether a name format holds exactly one conversion, of an int (d or i, with flags, a width
// and a precision but no '*'), besides any "%%".
bool CoreIsNumberFormat(const char* inNameFormat);
