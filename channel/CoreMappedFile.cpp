#include "channel/CoreMappedFile.h"

#include "channel/ChannelPlace.h"
#include "channel/ChannelReport.h"
#include "core/CoreVerify.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr mode_t kChannelFileMode = 0600;
static_assert(CoreMappedFile::kProtectReadOnly == PROT_READ &&
              CoreMappedFile::kProtectReadWrite == (PROT_READ | PROT_WRITE));
} // namespace

// The path lives in a world-writable folder: refuse links and files that are not ours alone, and
// take back a file of ours that others may read. O_NONBLOCK keeps a FIFO planted there from
// blocking the open; regular files ignore it.
bool CoreMappedFile::OpenChecked(const char* path, int flags) {
    m_refusal.clear();
    m_fd = ::open(path, flags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, kChannelFileMode);
    if (m_fd == -1) {
        if (errno == ENOENT) return false;
        // A link or another user's file in a sticky folder fails with EACCES before O_NOFOLLOW is
        // looked at: say what the entry is rather than what the open met.
        return Refuse(path, RefusalReason(path, errno));
    }
    struct stat st;
    if (::fstat(m_fd, &st) != 0) return Refuse(path, std::strerror(errno));
    // Removed between the open and now: as missing as before the open.
    if (st.st_nlink == 0) return Fail();
    if (!S_ISREG(st.st_mode)) return Refuse(path, "not a regular file");
    if (st.st_uid != ::geteuid())
        return Refuse(path, "owned by another user (uid " + std::to_string(st.st_uid) + ")");
    if (st.st_nlink != 1) return Refuse(path, "it has more than one hard link");
    m_device = st.st_dev;
    m_inode = st.st_ino;
    if ((st.st_mode & 07777) != kChannelFileMode && ::fchmod(m_fd, kChannelFileMode) == 0)
        ChannelReport("CoreMappedFile: %s had mode %04o, now %04o\n", path,
                      unsigned(st.st_mode & 07777), unsigned(kChannelFileMode));
    return true;
}

bool CoreMappedFile::Refuse(const char* path, const std::string& reason) {
    m_refusal = reason;
    if (!m_quiet) ChannelReport("CoreMappedFile: refused %s: %s\n", path, reason.c_str());
    return Fail();
}

// A failed open leaves no descriptor behind, so the next open starts clean; the pages of an
// earlier mapping stay for it.
bool CoreMappedFile::Fail() {
    if (m_fd != -1) ::close(m_fd);
    m_fd = -1;
    return false;
}

// A new file is filled under a private name and renamed into place whole, so that a reader
// never finds it short. False when none was placed; the caller's plain open then says why.
static bool PlaceNewFile(const char* path, unsigned long sizeBytes) {
    if (::access(path, F_OK) == 0 || errno != ENOENT) return false;
    std::string fill = std::string(path) + ".XXXXXX";
    const int fd = ::mkostemp(fill.data(), O_CLOEXEC);
    if (fd == -1) return false;
    const bool filled = CoreMappedFile::DiskFile_ZeroFillData(fd, sizeBytes);
    // Never over a file another writer placed meanwhile: theirs is opened as it is.
    const bool placed = ::close(fd) == 0 && filled &&
                        ::renameat2(AT_FDCWD, fill.c_str(), AT_FDCWD, path, RENAME_NOREPLACE) == 0;
    if (!placed) ::unlink(fill.c_str());
    return placed;
}

bool CoreMappedFile::CreateReadWrite(const char* path, unsigned long sizeBytes) {
    if (IsOpen()) return false;
    const bool placed = PlaceNewFile(path, sizeBytes);
    // No O_TRUNC: a reader that still maps the file must never see it shrink under its mapping.
    if (!OpenChecked(path, O_RDWR | O_CREAT)) return false;
    off_t length = DiskFile_GetSizeBytes(m_fd);
    if (!placed || length != off_t(sizeBytes)) {
        if (::lseek(m_fd, 0, SEEK_SET) != 0 || !DiskFile_ZeroFillData(m_fd, sizeBytes))
            return Refuse(path, std::string("cannot fill it: ") + std::strerror(errno));
        length = DiskFile_GetSizeBytes(m_fd);
    }
    if (length > off_t(sizeBytes) && ::ftruncate(m_fd, off_t(sizeBytes)) != 0) return Fail();
    return Map(sizeBytes, PROT_READ | PROT_WRITE) || Fail();
}

bool CoreMappedFile::OpenReadWrite(const char* path, unsigned long sizeBytes) {
    if (IsOpen()) return false;
    if (::access(path, R_OK | W_OK) != 0) return false;
    if (!OpenChecked(path, O_RDWR)) return false;
    const off_t length = DiskFile_GetSizeBytes(m_fd);
    if (length < off_t(sizeBytes))
        return Refuse(path,
                      std::to_string(length) + " bytes, shorter than " + std::to_string(sizeBytes));
    return Map(sizeBytes, PROT_READ | PROT_WRITE) || Fail();
}

bool CoreMappedFile::OpenRead(const char* path) {
    if (IsOpen()) return false;
    if (::access(path, R_OK) != 0) return false;
    if (!OpenChecked(path, O_RDONLY)) return false;
    const off_t length = DiskFile_GetSizeBytes(m_fd);
    if (length <= 0) return Refuse(path, "it is empty");
    // Reopened over earlier pages, the view keeps their length.
    if (m_base && length < off_t(m_size)) return Refuse(path, "it is shorter than before");
    return Map(m_base ? m_size : (unsigned long)length, PROT_READ) || Fail();
}

bool CoreMappedFile::Map(unsigned long sizeBytes, int protection) {
    if (sizeBytes == 0 || (m_base && sizeBytes != m_size)) return false;
    void* base =
        ::mmap(m_base, sizeBytes, protection, MAP_SHARED | (m_base ? MAP_FIXED : 0), m_fd, 0);
    if (base == MAP_FAILED) return false;
    mapping_guard::Guard(base, sizeBytes, protection);
    m_base = base;
    m_size = sizeBytes;
    m_protection = protection == PROT_READ ? kProtectReadOnly : kProtectReadWrite;
    return true;
}

void CoreMappedFile::Detach() {
    if (m_base) mapping_guard::MapZeroPages(m_base, m_size, m_protection);
    mapping_guard::ClearFault(m_base);
    Fail();
}

mapping_guard::Drift CoreMappedFile::DriftFrom(const char* path) const {
    return mapping_guard::DriftFrom(path, m_device, m_inode, m_size, m_base);
}

int CoreMappedFile::Close() {
    if (m_base != nullptr && m_size != 0) {
        mapping_guard::Unguard(m_base);
        // clang-format off
        VERIFY(0==munmap(m_base, m_size));
        // clang-format on
        m_base = nullptr;
        m_size = 0;
    }
    if (m_fd == -1) return -1;
    const int result = ::close(m_fd);
    m_fd = -1;
    return result;
}

bool CoreMappedFile::SyncMemoryDelay(double seconds) const {
    struct timespec delay;
    delay.tv_sec = time_t(seconds);
    delay.tv_nsec = long((seconds - std::trunc(seconds)) * 1e9);
    return ::nanosleep(&delay, nullptr) != -1;
}

bool CoreMappedFile::DiskFile_ZeroFillData(int fd, unsigned long sizeBytes) {
    static const char kZeros[64] = {};
    for (unsigned long i = 0; i < sizeBytes / 64; ++i)
        if (::write(fd, kZeros, sizeof kZeros) != ssize_t(sizeof kZeros)) return false;
    for (unsigned long i = 0; i < sizeBytes % 64; ++i)
        if (::write(fd, kZeros, 1) != 1) return false;
    return true;
}

off_t CoreMappedFile::DiskFile_GetSizeBytes(int fd) {
    const off_t offset = ::lseek(fd, 0, SEEK_CUR);
    const off_t size = ::lseek(fd, 0, SEEK_END);
    ::lseek(fd, offset, SEEK_SET);
    return size;
}
