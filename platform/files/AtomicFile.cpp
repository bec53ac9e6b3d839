#include "platform/files/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::files {
namespace {

constexpr char kPrefix[] = ".saving-";
constexpr size_t kPrefixLength = sizeof kPrefix - 1, kUniqueLength = 6; // mkostemp's XXXXXX

thread_local int tLastError = 0;

OSErr ErrorOf(int error) {
    tLastError = error;
    return error == ENOENT || error == ENOTDIR ? kFnfErr : kIoErr;
}

bool IsTemporaryName(const char* name) {
    if (std::strncmp(name, kPrefix, kPrefixLength) != 0) return false;
    const char* unique = name + kPrefixLength;
    return std::strlen(unique) == kUniqueLength &&
           std::strspn(unique, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789") ==
               kUniqueLength;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The mode open(2) gives a new file. The umask can only be read by setting it, and the saving
// code runs on the main thread only.
mode_t NewFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

OSErr AtomicFile::Open(const std::string& path) {
    Abandon();
    if (path.empty() || path.back() == '/') return kParamErr;
    tLastError = 0;
    std::string temporary = FolderOf(path) + "/" + kPrefix + "XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return ErrorOf(errno);
    // Held until the descriptor closes, which a killed writer's does too.
    ::flock(fd, LOCK_EX);
    mPath = path, mTemporary = temporary, mFd = fd;
    return kNoErr;
}

OSErr AtomicFile::Commit() {
    if (mFd < 0) return kParamErr;
    bool ok = ::fchmod(mFd, NewFileMode()) == 0 && ::fsync(mFd) == 0;
    ok = ::close(mFd) == 0 && ok;
    mFd = -1;
    if (!ok || ::rename(mTemporary.c_str(), mPath.c_str()) != 0) {
        const int error = errno;
        Abandon();
        return ErrorOf(error);
    }
    mTemporary.clear();
    // The rename itself reaches the disk with the folder.
    const int folder = ::open(FolderOf(mPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return kNoErr;
}

void AtomicFile::Abandon() {
    if (mFd >= 0) ::close(mFd);
    if (!mTemporary.empty()) ::unlink(mTemporary.c_str());
    mFd = -1;
    mTemporary.clear();
}

OSErr AtomicFile::Fail() {
    const int error = errno ? errno : EIO;
    Abandon();
    ErrorOf(error);
    return kIoErr;
}

int AtomicFile::LastError() {
    return tLastError;
}

int AtomicFile::RemoveStale(const std::string& folder, std::time_t before) {
    DIR* entries = ::opendir(folder.c_str());
    if (!entries) return 0;
    int removed = 0;
    while (const dirent* entry = ::readdir(entries)) {
        if (!IsTemporaryName(entry->d_name)) continue;
        const int fd = ::openat(::dirfd(entries), entry->d_name,
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            st.st_mtime < before && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::unlinkat(::dirfd(entries), entry->d_name, 0) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(entries);
    return removed;
}

} // namespace platform::files
