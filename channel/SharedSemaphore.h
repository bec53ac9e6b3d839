#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <sys/stat.h>

// Named binary locks that 32-bit and 64-bit processes can share, with the calls of the POSIX
// named semaphores. The C library's own named semaphores cannot be shared that way: its i386
// build keeps the count shifted by one bit, so a semaphore posted by a 64-bit process looks taken
// to a 32-bit one. These keep the 64-bit C library's record (count word, waiter word, sharing
// flag) in /dev/shm/sem.<name> and wait on the count word with a process-shared futex.
//
// Holder protocol. The record's last 16 bytes, unused by the C library, name the holder:
// `holder` is the holding process's pid in its low half and the low 32 bits of its start time
// (clock ticks after boot, from /proc/<pid>/stat) in its high half, so that a reused pid is not
// taken for the holder; 0 means no holder is known. `releases` counts releases.
// - Taking: the count goes 1 -> 0 (compare-and-swap on the count and waiter word), then the
//   holder word 0 -> self (compare-and-swap). A taker that finds the holder word already set
//   has had its grant recovered by another process (below) and does not hold the lock.
// - Releasing: only the process named by the holder word may release, and only a count of 0
//   goes to 1: an unlock by anyone else, or a second unlock, fails with EPERM or EOVERFLOW.
//   `releases` is counted first, then the holder word goes self -> 0, then the count 0 -> 1.
// - Recovering: a process that finds the lock taken checks the holder: a try at once, a wait
//   each time a slice of kRecoverySliceSeconds, or the whole wait, runs out (so even the
//   writer's short waits take a buffer back). A holder whose pid no longer exists, is a zombie or
//   has another start time is dead: the holder word goes dead -> self (compare-and-swap, so one
//   process wins) and the winner holds the lock, the count staying 0. A lock that stays taken
//   with no holder for kHolderlessSeconds of one wait while `releases` stands still belonged to a
//   process that died between its two steps: it is taken over the same way, from 0.
// - Waits sleep in slices, so a signal handler that runs ends them with EINTR whatever its
//   SA_RESTART flag; a timed wait ends with ETIMEDOUT.
namespace shared_semaphore {

struct sem_record {
    uint32_t value;
    uint32_t nwaiters;
    int32_t sharing;
    int32_t pad;
    uint64_t holder;   // reserved (zero) in the C library's record
    uint32_t releases; // reserved (zero) in the C library's record
    uint32_t reserved;
};
static_assert(sizeof(sem_record) == 32 && offsetof(sem_record, holder) == 16 &&
              offsetof(sem_record, releases) == 24);

using sem_t = sem_record;
constexpr sem_t* SEM_FAILED = nullptr;
constexpr double kRecoverySliceSeconds = 0.2;
constexpr double kHolderlessSeconds = 0.5;

// oflag: 0 or O_CREAT. A created lock starts at value (0 or 1) with exactly the given mode, not
// reduced by the umask; an existing one keeps its count. A record that is a link, not a regular
// file, too short (without O_CREAT) or owned by another user is refused (ELOOP, EINVAL, EPERM);
// one of ours that others may read or write is made 0600 first. The record's mapping is guarded
// (MappingGuard.h); `record`, when given, receives the status of the file mapped.
sem_t* sem_open(const char* name, int oflag, unsigned mode, unsigned value,
                struct stat* record = nullptr);
// As sem_open, with the record in the given folder instead of kRecordFolder.
sem_t* sem_open_in(const char* folder, const char* name, int oflag, unsigned mode, unsigned value,
                   struct stat* record = nullptr);
int sem_close(sem_t* semaphore);
// The release; EPERM when this process does not hold the lock, EOVERFLOW when it is not taken.
int sem_post(sem_t* semaphore);
int sem_wait(sem_t* semaphore);
int sem_trywait(sem_t* semaphore);
// Waits at most the given time (relative); -1 with ETIMEDOUT when it expires.
int sem_timedwait_relative(sem_t* semaphore, const struct timespec* timeout);
// As sem_timedwait_relative (no limit when timeout is null), asking `wanted` every `every`
// seconds (at most kRecoverySliceSeconds) and ending with ECANCELED once it answers false.
int sem_wait_while(sem_t* semaphore, const struct timespec* timeout, double every,
                   bool (*wanted)(const void*), const void* context);
int sem_unlink(const char* name);

// Where the record of a name lies: this folder, then "sem." and the name.
constexpr const char* kRecordFolder = "/dev/shm";

} // namespace shared_semaphore
