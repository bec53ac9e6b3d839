#include "platform/files/PlatformFiles.h"
#include "platform/files/XdgFolders.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::files {
namespace {

struct FolderRow {
    uint32_t type;
    const char* local;
    const char* system;
};

constexpr FolderRow kFolders[] = {
    {kLogsFolderType, "/var/log", "/var/log"},
    {kQuickTimeComponentsFolderType, "/usr/local/lib/vistrel/components",
     "/usr/lib/vistrel/components"},
    {kFrameworksFolderType, "/usr/local/lib", "/usr/lib"},
    {kImageUnitsFolderType, "/usr/local/lib/vistrel/image-units", "/usr/lib/vistrel/image-units"},
};

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

bool FolderPath(Domain domain, uint32_t type, std::string& path) {
    if (domain == kUserDomain) return UserFolder(type, path);
    for (const FolderRow& row : kFolders) {
        if (row.type != type) continue;
        if (domain == kLocalDomain)
            path = row.local;
        else if (domain == kSystemDomain)
            path = row.system;
        else
            return false;
        return true;
    }
    return false;
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

OSErr FindFolder(Domain domain, uint32_t folderType, bool createFolder, std::string& path) {
    std::string folder;
    if (!FolderPath(domain, folderType, folder)) return kParamErr;
    if (!IsFolder(folder)) {
        if (!createFolder) return kFnfErr;
        if (!MakeFolders(folder, domain == kUserDomain ? 0700 : 0755)) return kIoErr;
    }
    path = folder;
    return kNoErr;
}

std::string StandardFolderPath(Domain domain, uint32_t folderType) {
    std::string folder;
    return FolderPath(domain, folderType, folder) ? folder : std::string();
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
