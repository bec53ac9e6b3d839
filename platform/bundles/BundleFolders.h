#pragma once

// Finding bundles: the folders a kind of bundle is looked for in, in their order, and the
// bundles those folders hold, each with its resolved path and its metadata.
#include "platform/bundles/BundleInfo.h"
#include "platform/files/PlatformFiles.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace platform::bundles {

// Where one kind of bundle is looked for: the standard folders of a type, domain by domain.
struct BundleSearch {
    uint32_t folderType;
    std::array<files::Domain, 3> domains;
};

// Components: the user's folder, then the system's, then the local one.
constexpr BundleSearch kComponentSearch{
    files::kQuickTimeComponentsFolderType,
    {files::kUserDomain, files::kSystemDomain, files::kLocalDomain}};
// Image-filter plug-ins: the user's folder, then the local one, then the system's.
constexpr BundleSearch kImageUnitSearch{
    files::kImageUnitsFolderType, {files::kUserDomain, files::kLocalDomain, files::kSystemDomain}};

// The folders of a search that exist, in its order.
std::vector<std::string> SearchFolders(const BundleSearch& search);

struct FoundBundle {
    std::string path; // resolved: no symbolic link, no "." or ".."
    BundleInfo info;  // Contents/Info.ini; empty when hasInfo is false
    bool hasInfo = false;
};

// The bundle folders "<name>.<extension>" (every folder when extension is empty) in the given
// folders: folder by folder, by name within a folder. A bundle reached more than once (through
// links) is listed the first time only; dangling links and plain files are left out.
std::vector<FoundBundle> EnumerateBundles(const std::vector<std::string>& folders,
                                          std::string_view extension);

// The absolute path with every link resolved; empty when it does not exist.
std::string RealPath(const std::string& path);

} // namespace platform::bundles
