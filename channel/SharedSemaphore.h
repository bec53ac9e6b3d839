#pragma once

#include <cstdint>
#include <ctime>

// Named semaphores that 32-bit and 64-bit processes can share. The C library's own named
// semaphores cannot be shared that way: its i386 build keeps the count shifted by one bit, so a
// semaphore posted by a 64-bit process looks taken to a 32-bit one. These keep the 64-bit C
// library's record (count word, waiter word, sharing flag) in /dev/shm/sem.<name>, wait on the
// count word with a process-shared futex, and behave as the POSIX calls of the same names.
namespace shared_semaphore {

struct sem_record {
    uint32_t value;
    uint32_t nwaiters;
    int32_t sharing;
    int32_t pad;
    uint8_t reserved[16];
};
static_assert(sizeof(sem_record) == 32);

using sem_t = sem_record;
constexpr sem_t* SEM_FAILED = nullptr;
constexpr uint32_t kSemValueMax = 0x7FFFFFFF;

// oflag: 0 or O_CREAT; a created semaphore starts at value, an existing one keeps its count.
sem_t* sem_open(const char* name, int oflag, unsigned mode, unsigned value);
int sem_close(sem_t* semaphore);
int sem_post(sem_t* semaphore);
int sem_wait(sem_t* semaphore);
int sem_trywait(sem_t* semaphore);
// Waits at most the given time (relative); -1 with ETIMEDOUT when it expires.
int sem_timedwait_relative(sem_t* semaphore, const struct timespec* timeout);
int sem_getvalue(sem_t* semaphore, int* value);
int sem_unlink(const char* name);

} // namespace shared_semaphore
