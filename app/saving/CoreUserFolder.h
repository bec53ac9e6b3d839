#pragma once

// A named subfolder of one of the user's standard folders, both created when missing; without a
// name, the standard folder itself. Constructing it already finds (and creates) the folder.
#include "platform/files/PlatformFiles.h"

#include <cstdint>
#include <optional>
#include <string>

class CoreUserFolder {
public:
    CoreUserFolder(const char* inSubFolderName, uint32_t inFindFolderLocation,
                   int16_t inFindFolderDomain);

    bool GetFileRef(platform::files::FSRef& out_foundFolderRef) const;
    bool GetUnixPath(std::string& outPath) const;
    // For a folder that could not be had: its path and why, in plain words
    // ("/home/ann/Pictures/Vistrel is a file, not a folder").
    std::string Problem() const;

private:
    std::optional<std::string> mSubFolderName;
    uint32_t mFindFolderLocation;
    int16_t mFindFolderDomain;
};
