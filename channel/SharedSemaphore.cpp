#include "channel/SharedSemaphore.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/futex.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace shared_semaphore {
namespace {

constexpr uint64_t kWaiter = uint64_t(1) << 32;
constexpr int32_t kSharedFutex = 128; // the C library's mark for a process-shared semaphore
constexpr const char* kFolder = "/dev/shm/";

// The count and the waiter word form one 64-bit word, changed together. A lock-based atomic would
// only exclude threads of one process.
static_assert(std::atomic_ref<uint64_t>::is_always_lock_free);
std::atomic_ref<uint64_t> Data(sem_t* semaphore) {
    return std::atomic_ref<uint64_t>(*reinterpret_cast<uint64_t*>(semaphore));
}

uint32_t Value(uint64_t data) {
    return uint32_t(data);
}

// Sleeps while the word holds value, until a wake or the absolute monotonic deadline.
long FutexWait(uint32_t* word, uint32_t value, const struct timespec* deadline) {
    return ::syscall(SYS_futex, word, FUTEX_WAIT_BITSET, value, deadline, nullptr,
                     FUTEX_BITSET_MATCH_ANY);
}

long FutexWake(uint32_t* word) {
    return ::syscall(SYS_futex, word, FUTEX_WAKE, 1, nullptr, nullptr, 0);
}

bool PathOf(const char* name, std::string& path) {
    while (name && *name == '/')
        ++name;
    if (!name || !*name || std::strchr(name, '/') || std::strlen(name) > NAME_MAX - 4) {
        errno = EINVAL;
        return false;
    }
    path = std::string(kFolder) + "sem." + name;
    return true;
}

// A new semaphore appears under its name fully initialised, or not at all.
int CreateInPlace(const std::string& path, unsigned mode, unsigned value) {
    std::string temporary = std::string(kFolder) + "sem.XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd == -1) return -1;
    sem_record record{};
    record.value = value;
    record.sharing = kSharedFutex;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    bool ok = ::write(fd, &record, sizeof record) == ssize_t(sizeof record) &&
              ::fchmod(fd, mode_t(mode) & ~mask) == 0;
    if (ok && ::link(temporary.c_str(), path.c_str()) != 0) ok = false;
    const int linkError = errno;
    ::unlink(temporary.c_str());
    ::close(fd);
    errno = linkError;
    return ok ? 0 : -1;
}

int WaitSlow(sem_t* semaphore, const struct timespec* deadline) {
    uint64_t data = Data(semaphore).fetch_add(kWaiter) + kWaiter;
    for (;;) {
        if (Value(data) == 0) {
            if (FutexWait(&semaphore->value, 0, deadline) == -1 &&
                (errno == ETIMEDOUT || errno == EINTR)) {
                const int error = errno;
                Data(semaphore).fetch_sub(kWaiter);
                errno = error;
                return -1;
            }
            data = Data(semaphore).load();
            continue;
        }
        if (Data(semaphore).compare_exchange_weak(data, data - 1 - kWaiter)) return 0;
    }
}

int Wait(sem_t* semaphore, const struct timespec* timeout) {
    if (!semaphore) {
        errno = EINVAL;
        return -1;
    }
    if (sem_trywait(semaphore) == 0) return 0;
    if (!timeout) return WaitSlow(semaphore, nullptr);
    struct timespec deadline;
    ::clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += timeout->tv_sec;
    deadline.tv_nsec += timeout->tv_nsec;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    return WaitSlow(semaphore, &deadline);
}

} // namespace

sem_t* sem_open(const char* name, int oflag, unsigned mode, unsigned value) {
    std::string path;
    if (!PathOf(name, path)) return SEM_FAILED;
    if (value > kSemValueMax || (oflag & O_EXCL)) {
        errno = EINVAL;
        return SEM_FAILED;
    }
    int fd = -1;
    // Another process may create or remove the name between our open and our create.
    for (int attempt = 0; attempt < 8 && fd == -1; ++attempt) {
        fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
        if (fd != -1) break;
        if (errno != ENOENT || !(oflag & O_CREAT)) return SEM_FAILED;
        if (CreateInPlace(path, mode, value) != 0 && errno != EEXIST) return SEM_FAILED;
    }
    if (fd == -1) return SEM_FAILED;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < off_t(sizeof(sem_t))) {
        ::close(fd);
        errno = EINVAL;
        return SEM_FAILED;
    }
    void* memory = ::mmap(nullptr, sizeof(sem_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    return memory == MAP_FAILED ? SEM_FAILED : static_cast<sem_t*>(memory);
}

int sem_close(sem_t* semaphore) {
    if (!semaphore) {
        errno = EINVAL;
        return -1;
    }
    return ::munmap(semaphore, sizeof(sem_t));
}

int sem_post(sem_t* semaphore) {
    if (!semaphore) {
        errno = EINVAL;
        return -1;
    }
    uint64_t data = Data(semaphore).load();
    do {
        if (Value(data) == kSemValueMax) {
            errno = EOVERFLOW;
            return -1;
        }
    } while (!Data(semaphore).compare_exchange_weak(data, data + 1));
    if ((data >> 32) > 0) FutexWake(&semaphore->value);
    return 0;
}

int sem_trywait(sem_t* semaphore) {
    if (!semaphore) {
        errno = EINVAL;
        return -1;
    }
    uint64_t data = Data(semaphore).load();
    do {
        if (Value(data) == 0) {
            errno = EAGAIN;
            return -1;
        }
    } while (!Data(semaphore).compare_exchange_weak(data, data - 1));
    return 0;
}

int sem_wait(sem_t* semaphore) {
    return Wait(semaphore, nullptr);
}

int sem_timedwait_relative(sem_t* semaphore, const struct timespec* timeout) {
    return Wait(semaphore, timeout);
}

int sem_getvalue(sem_t* semaphore, int* value) {
    if (!semaphore || !value) {
        errno = EINVAL;
        return -1;
    }
    *value = int(Value(Data(semaphore).load()));
    return 0;
}

int sem_unlink(const char* name) {
    std::string path;
    return PathOf(name, path) ? ::unlink(path.c_str()) : -1;
}

} // namespace shared_semaphore
