#pragma once

#include "channel/MappingGuard.h"

#include <string>
#include <sys/types.h>

// A file mapped MAP_SHARED, so that every process mapping it sees the same bytes. The file is
// opened without following symbolic links and must be a regular file owned by this process's
// user with no other hard link; one with another mode is made 0600. A file shorter than the
// length asked for is never mapped. Each refusal is reported with the path and the reason (at
// most once a second for the same report) and kept for Refusal().
//
// The mapping is guarded (MappingGuard.h): a file that shrinks under it leaves zero pages, never a
// SIGBUS. Its address stays this object's until Close(): after Detach(), or an open that failed
// meanwhile, the next open maps the file over the same pages, so that addresses handed out
// stay valid.
class CoreMappedFile {
public:
    static constexpr int kProtectReadOnly = 1;
    static constexpr int kProtectReadWrite = 3;

    constexpr CoreMappedFile() = default;
    ~CoreMappedFile() { Close(); }
    CoreMappedFile(const CoreMappedFile&) = delete;
    CoreMappedFile& operator=(const CoreMappedFile&) = delete;

    // Creates the file, or resets an existing one in place, as sizeBytes zero bytes (mode 0600). A
    // new file appears whole.
    bool CreateReadWrite(const char* path, unsigned long sizeBytes);
    // Maps sizeBytes of an existing file this process may read and write; never creates it.
    bool OpenReadWrite(const char* path, unsigned long sizeBytes);
    // Maps the whole current length of an existing readable file, read-only.
    bool OpenRead(const char* path);
    // Unmaps and closes; the result of close(), or -1 when no descriptor was open.
    int Close();
    // Closes the file and leaves zero pages in its place.
    void Detach();
    // Reads the last page: a file that shrank faults here and now (the guard marks it) rather
    // than in some later access.
    void Probe() const {
        if (IsOpen()) (void)static_cast<const volatile char*>(m_base)[m_size - 1];
    }
    // How the file now at the path differs from the one mapped.
    mapping_guard::Drift DriftFrom(const char* path) const;
    // Refusals are kept but not reported (a reopen waiting for a sound file said so already).
    void SetQuiet(bool quiet) { m_quiet = quiet; }
    bool SyncMemoryDelay(double seconds) const;

    bool IsOpen() const { return m_fd != -1 && m_base != nullptr && m_size != 0; }
    bool IsMapped() const { return m_base != nullptr; }
    void* Base() const { return m_base; }
    unsigned long Size() const { return m_size; }
    int Protection() const { return m_protection; }
    // Why the last open refused the file; empty after a success or a missing file.
    const std::string& Refusal() const { return m_refusal; }

    // sizeBytes/64 writes of a 64-byte zero block, then the rest byte by byte, from the current
    // offset. False when a write fails.
    static bool DiskFile_ZeroFillData(int fd, unsigned long sizeBytes);
    // The file's length; the descriptor's offset is kept. -1 on failure.
    static off_t DiskFile_GetSizeBytes(int fd);

private:
    bool OpenChecked(const char* path, int flags);
    bool Refuse(const char* path, const std::string& reason);
    bool Fail();
    bool Map(unsigned long sizeBytes, int protection);

    int m_fd = -1;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    bool m_quiet = false;
    void* m_base = nullptr;
    unsigned long m_size = 0;
    int m_protection = 0;
    std::string m_refusal;
};
