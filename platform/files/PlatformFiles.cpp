#include "platform/files/PlatformFiles.h"
#include "platform/files/XdgFolders.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sstream>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::files {
namespace {

// Folders of the local and system domains lie in an install prefix's library folder: the local
// domain's in this build's own prefix, the system domain's in the prefixes whose data folders
// XDG_DATA_DIRS lists (<prefix>/share). The log folder is the same for both.
struct FolderRow {
    uint32_t type;
    const char* inLibraryFolder;
};

constexpr FolderRow kFolders[] = {
    {kQuickTimeComponentsFolderType, "/vistrel/components"},
    {kFrameworksFolderType, ""},
    {kImageUnitsFolderType, "/vistrel/image-units"},
};

std::vector<std::string> SystemPrefixes() {
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    std::istringstream list(dirs && dirs[0] ? dirs : "/usr/local/share/:/usr/share/");
    std::vector<std::string> prefixes;
    for (std::string dir; std::getline(list, dir, ':');) {
        while (dir.size() > 1 && dir.back() == '/')
            dir.pop_back();
        constexpr std::string_view kShare = "/share";
        if (dir[0] == '/' && dir.size() > kShare.size() && dir.ends_with(kShare))
            prefixes.push_back(dir.substr(0, dir.size() - kShare.size()));
    }
    return prefixes;
}

bool UserFolder(uint32_t type, std::string& path) {
    switch (type) {
    case kLogsFolderType:
        path = XdgFolder("XDG_STATE_HOME", ".local/state");
        return true;
    case kQuickTimeComponentsFolderType:
        path = XdgFolder("XDG_DATA_HOME", ".local/share") + "/vistrel/components";
        return true;
    case kFrameworksFolderType:
        path = XdgFolder("XDG_DATA_HOME", ".local/share") + "/vistrel/frameworks";
        return true;
    case kImageUnitsFolderType:
        path = XdgFolder("XDG_DATA_HOME", ".local/share") + "/vistrel/image-units";
        return true;
    case kPictureDocumentsFolderType:
        path = XdgUserDir("XDG_PICTURES_DIR", "Pictures");
        return true;
    case kDesktopFolderType:
        path = XdgUserDir("XDG_DESKTOP_DIR", "Desktop");
        return true;
    case kDesktopPicturesFolderType:
        path = XdgFolder("XDG_DATA_HOME", ".local/share") + "/backgrounds";
        return true;
    case kDocumentsFolderType:
        path = XdgUserDir("XDG_DOCUMENTS_DIR", "Documents");
        return true;
    case kMusicDocumentsFolderType:
        path = XdgUserDir("XDG_MUSIC_DIR", "Music");
        return true;
    default:
        return false;
    }
}

// The folders a domain has for a type, in their order; empty when it has none.
std::vector<std::string> FolderPaths(Domain domain, uint32_t type) {
    std::string path;
    if (domain == kUserDomain)
        return UserFolder(type, path) ? std::vector{path} : std::vector<std::string>{};
    if (domain != kLocalDomain && domain != kSystemDomain) return {};
    if (type == kLogsFolderType) return {"/var/log"};
    for (const FolderRow& row : kFolders) {
        if (row.type != type) continue;
        std::vector<std::string> paths;
        for (const std::string& prefix : domain == kLocalDomain
                                             ? std::vector<std::string>{VISTREL_INSTALL_PREFIX}
                                             : SystemPrefixes())
            paths.push_back(prefix + "/" VISTREL_INSTALL_LIBDIR + row.inLibraryFolder);
        return paths;
    }
    return {};
}

bool IsFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeFolders(const std::string& path, mode_t mode) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), mode) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) break;
    }
    return IsFolder(path);
}

} // namespace

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && home[0]) return home;
    struct passwd pw, *result = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::geteuid(), &pw, buffer, sizeof buffer, &result) == 0 && result)
        return pw.pw_dir;
    return "/";
}

std::vector<std::string> FindFolders(Domain domain, uint32_t folderType) {
    std::vector<std::string> found;
    for (const std::string& folder : FolderPaths(domain, folderType))
        if (IsFolder(folder)) found.push_back(folder);
    return found;
}

OSErr FindFolder(Domain domain, uint32_t folderType, bool createFolder, std::string& path) {
    const std::vector<std::string> folders = FolderPaths(domain, folderType);
    if (folders.empty()) return kParamErr;
    const std::vector<std::string> found = FindFolders(domain, folderType);
    if (!found.empty()) {
        path = found.front();
        return kNoErr;
    }
    if (!createFolder) return kFnfErr;
    if (!MakeFolders(folders.front(), domain == kUserDomain ? 0700 : 0755)) return kIoErr;
    path = folders.front();
    return kNoErr;
}

std::string StandardFolderPath(Domain domain, uint32_t folderType) {
    const std::vector<std::string> folders = FolderPaths(domain, folderType);
    return folders.empty() ? std::string() : folders.front();
}

std::string FolderProblem(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return "does not exist";
        if (errno == ENOTDIR) return "lies inside a file, not a folder";
        return std::string("cannot be reached: ") + std::strerror(errno);
    }
    if (!S_ISDIR(st.st_mode)) return "is a file, not a folder";
    if (::access(path.c_str(), W_OK | X_OK) != 0)
        return std::string("cannot be written to: ") + std::strerror(errno);
    return "";
}

OSErr FSFindFolder(int16_t domain, uint32_t folderType, bool createFolder, FSRef* folder) {
    if (!folder) return kParamErr;
    return FindFolder(Domain(domain), folderType, createFolder, folder->path);
}

} // namespace platform::files
