#include "channel/ChannelPlace.h"

#include "channel/SharedCameraFormat.h"

#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kPublicLockFolder = "/dev/shm";

std::string LockRecord(const std::string& folder, unsigned n) {
    return folder + "/sem." + SharedCamera::SemaphoreName(n, ::geteuid());
}

// lstat: another user's symbolic link takes the name as much as a file does.
bool TakenByOther(const std::string& path, uid_t& owner) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || st.st_uid == ::geteuid()) return false;
    owner = st.st_uid;
    return true;
}

bool IsPrivateFolder(const std::string& path) {
    struct stat st;
    if (path.empty() || path[0] != '/' || ::stat(path.c_str(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) return false;
    return (st.st_mode & 077) == 0 || ::chmod(path.c_str(), 0700) == 0;
}

std::string AccountHome() {
    struct passwd entry, *found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::geteuid(), &entry, buffer, sizeof buffer, &found) != 0 || !found) return {};
    return found->pw_dir;
}

} // namespace

std::string PrivateChannelFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && IsPrivateFolder(runtime)) return runtime;
    const std::string home = AccountHome();
    if (home.empty()) return {};
    const std::string cache = home + "/.cache", folder = cache + "/vistrel";
    ::mkdir(cache.c_str(), 0700);
    ::mkdir(folder.c_str(), 0700);
    return IsPrivateFolder(folder) ? folder : std::string();
}

ChannelPlace ResolveChannelPlace(const std::string& publicFile) {
    ChannelPlace place{publicFile, kPublicLockFolder, {}, 0};
    for (const std::string& name :
         {publicFile, LockRecord(kPublicLockFolder, 0), LockRecord(kPublicLockFolder, 1)})
        if (TakenByOther(name, place.takenBy)) {
            place.taken = name;
            break;
        }
    if (place.taken.empty()) return place;
    place.lockFolder = PrivateChannelFolder();
    const size_t slash = publicFile.rfind('/');
    place.file = place.lockFolder.empty() ? std::string()
                                          : place.lockFolder + "/" + publicFile.substr(slash + 1);
    return place;
}

std::string ChannelPlace::Explanation() const {
    if (taken.empty()) return {};
    const std::string head =
        taken + " belongs to another user (uid " + std::to_string(takenBy) + ")";
    if (file.empty())
        return head + " and there is no private folder for the channel ($XDG_RUNTIME_DIR is not "
                      "set, ~/.cache/vistrel cannot be made)";
    return head + ": this user's camera channel is in " + lockFolder + " instead";
}

std::string RefusalReason(const char* path, int error, size_t minimumBytes) {
    struct stat st;
    if (::lstat(path, &st) != 0) return std::strerror(error);
    const bool ours = st.st_uid == ::geteuid();
    const std::string owner =
        ours ? "" : " of another user (uid " + std::to_string(st.st_uid) + ")";
    if (S_ISLNK(st.st_mode)) return "it is a symbolic link" + owner;
    if (!S_ISREG(st.st_mode)) return "not a regular file" + owner;
    if (!ours) return "owned by another user (uid " + std::to_string(st.st_uid) + ")";
    if (st.st_nlink > 1) return "it has more than one hard link";
    if (size_t(st.st_size) < minimumBytes)
        return std::to_string(st.st_size) + " bytes, shorter than " + std::to_string(minimumBytes);
    return std::strerror(error);
}
