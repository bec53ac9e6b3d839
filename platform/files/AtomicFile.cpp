#include "platform/files/AtomicFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::files {
namespace {

OSErr ErrorOf(int error) {
    return error == ENOENT || error == ENOTDIR ? kFnfErr : kIoErr;
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
    std::string temporary = FolderOf(path) + "/.saving-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return ErrorOf(errno);
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

} // namespace platform::files
