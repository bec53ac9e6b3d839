#pragma once

#include "channel/MappingGuard.h"
#include "channel/SharedSemaphore.h"

#include <string>

// A named semaphore used as a binary lock between processes, 32-bit and 64-bit alike: only the
// process that holds it can release it, and a holder that died is recovered by the next process
// that needs the lock (see SharedSemaphore.h). The name is never removed, so the semaphore
// outlives its users with whatever count it had; it is created readable and writable by its user
// only.
class CoreUnixSemaphore {
public:
    constexpr CoreUnixSemaphore() = default;
    ~CoreUnixSemaphore() {
        if (IsOpen()) Close();
    }
    CoreUnixSemaphore(const CoreUnixSemaphore&) = delete;
    CoreUnixSemaphore& operator=(const CoreUnixSemaphore&) = delete;

    void Init() { _semaphore_id = shared_semaphore::SEM_FAILED; }
    bool IsOpen() const { return _semaphore_id != shared_semaphore::SEM_FAILED; }
    // Opens the named semaphore's record in the folder, creating it with count 1; an existing one
    // keeps its count. A record another user owns is refused, with a report naming it and the
    // reason.
    bool OpenCreate(const char* folder, const char* in_semaphore_name);
    // In /dev/shm, the documented place.
    bool OpenCreate(const char* in_semaphore_name) {
        return OpenCreate(shared_semaphore::kRecordFolder, in_semaphore_name);
    }
    bool Close();
    // How the record now at the name differs from the one open.
    mapping_guard::Drift DriftFrom() const;
    bool Faulted() const { return mapping_guard::Faulted(_semaphore_id); }
    const std::string& RecordPath() const { return _recordPath; }
    // False when this process does not hold the lock.
    bool Post() const;
    // False when a signal handler ran meanwhile.
    bool Wait() const;
    bool TryWait() const;
    // Waits at most the given seconds; false when they run out.
    bool TimedWait(double seconds) const;
    // Waits at most the given seconds (none: no limit) and only while `wanted` answers true,
    // asking it every `every` seconds.
    bool WaitWhile(double seconds, double every, bool (*wanted)(const void*),
                   const void* context) const;

    static constexpr unsigned global_permissions_mode = 0600;
    static constexpr unsigned initial_semaphore_value = 1;

private:
    shared_semaphore::sem_t* _semaphore_id = shared_semaphore::SEM_FAILED;
    std::string _recordPath;
    dev_t _device = 0;
    ino_t _inode = 0;
};
