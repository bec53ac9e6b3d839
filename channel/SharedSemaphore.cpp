#include "channel/SharedSemaphore.h"

#include "channel/MappingGuard.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/futex.h>
#include <pthread.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace shared_semaphore {
namespace {

constexpr uint64_t kWaiter = uint64_t(1) << 32;
constexpr int32_t kSharedFutex = 128; // the C library's mark for a process-shared semaphore
constexpr long kNanoseconds = 1000000000L;

// The count and the waiter word form one 64-bit word, changed together. A lock-based atomic would
// only exclude threads of one process.
static_assert(std::atomic_ref<uint64_t>::is_always_lock_free);
std::atomic_ref<uint64_t> Data(sem_t* semaphore) {
    return std::atomic_ref<uint64_t>(*reinterpret_cast<uint64_t*>(semaphore));
}
std::atomic_ref<uint64_t> Holder(sem_t* semaphore) {
    return std::atomic_ref<uint64_t>(semaphore->holder);
}
std::atomic_ref<uint32_t> Releases(sem_t* semaphore) {
    return std::atomic_ref<uint32_t>(semaphore->releases);
}

uint32_t Value(uint64_t data) {
    return uint32_t(data);
}

struct timespec Now() {
    struct timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return now;
}

struct timespec After(struct timespec from, double seconds) {
    const long whole = long(seconds);
    from.tv_sec += whole;
    from.tv_nsec += long((seconds - double(whole)) * 1e9);
    if (from.tv_nsec >= kNanoseconds) {
        from.tv_sec += 1;
        from.tv_nsec -= kNanoseconds;
    }
    return from;
}

bool Before(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// Sleeps while the word holds value, until a wake or the absolute monotonic deadline.
long FutexWait(uint32_t* word, uint32_t value, const struct timespec* deadline) {
    return ::syscall(SYS_futex, word, FUTEX_WAIT_BITSET, value, deadline, nullptr,
                     FUTEX_BITSET_MATCH_ANY);
}

long FutexWake(uint32_t* word) {
    return ::syscall(SYS_futex, word, FUTEX_WAKE, 1, nullptr, nullptr, 0);
}

// State and start time of a process from /proc/<pid>/stat; false when there is no such entry.
bool ProcessStat(pid_t pid, char& state, unsigned long long& startTime) {
    char path[64], text[1024];
    std::snprintf(path, sizeof path, "/proc/%d/stat", int(pid));
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd == -1) return false;
    const ssize_t length = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (length <= 0) return false;
    text[length] = '\0';
    // The command name may hold anything, so the fields are counted from its last closing
    // bracket: the space after it starts the 3rd field (state), the 20th space after it the 22nd
    // (start time).
    const char* field = std::strrchr(text, ')');
    if (!field || std::sscanf(field + 1, " %c", &state) != 1) return false;
    for (int skip = 0; skip < 20 && field; ++skip)
        field = std::strchr(field + 1, ' ');
    return field && std::sscanf(field, " %llu", &startTime) == 1;
}

// This process as the holder word names it. It is kept, since a system call per lock costs more
// than the lock itself, and forgotten in the child of a fork.
std::atomic<uint64_t> sSelf{0};

uint64_t Self() {
    uint64_t self = sSelf.load(std::memory_order_relaxed);
    if (self != 0) return self;
    static const int sForgetInChild =
        ::pthread_atfork(nullptr, nullptr, [] { sSelf.store(0, std::memory_order_relaxed); });
    (void)sForgetInChild;
    const pid_t pid = ::getpid();
    char state = 0;
    unsigned long long startTime = 0;
    ProcessStat(pid, state, startTime);
    self = uint64_t(uint32_t(pid)) | (uint64_t(uint32_t(startTime)) << 32);
    sSelf.store(self, std::memory_order_relaxed);
    return self;
}

bool IsAlive(uint64_t holder) {
    const pid_t pid = pid_t(uint32_t(holder));
    if (pid <= 0) return true;
    if (::kill(pid, 0) == -1 && errno == ESRCH) return false;
    char state = 0;
    unsigned long long startTime = 0;
    if (!ProcessStat(pid, state, startTime)) return ::access("/proc/self/stat", R_OK) != 0;
    if (state == 'Z' || state == 'X') return false;
    const uint32_t stamp = uint32_t(holder >> 32);
    return stamp == 0 || stamp == uint32_t(startTime);
}

// The second step of taking: false when another process recovered the grant meanwhile.
bool Claim(sem_t* semaphore, uint64_t self) {
    uint64_t none = 0;
    return Holder(semaphore).compare_exchange_strong(none, self);
}

// Takes the lock from a dead holder, or from none at all once `holderless` says so.
bool Recover(sem_t* semaphore, uint64_t self, bool holderless) {
    uint64_t holder = Holder(semaphore).load();
    if (holder == 0 ? !holderless : IsAlive(holder)) return false;
    return Value(Data(semaphore).load()) == 0 &&
           Holder(semaphore).compare_exchange_strong(holder, self);
}

// checkHolder: whether a taken lock's holder is checked (a system call and a read of /proc).
int TryTake(sem_t* semaphore, uint64_t self, bool checkHolder) {
    uint64_t data = Data(semaphore).load();
    do {
        if (Value(data) == 0) {
            if (checkHolder && Recover(semaphore, self, false)) return 0;
            errno = EAGAIN;
            return -1;
        }
    } while (!Data(semaphore).compare_exchange_weak(data, data - 1));
    if (Claim(semaphore, self)) return 0;
    errno = EAGAIN;
    return -1;
}

// Watches a taken lock with no holder: true once it has stayed so, with no release, long enough.
struct HolderlessWatch {
    bool watching = false;
    uint32_t releases = 0;
    struct timespec since {};

    bool Expired(sem_t* semaphore, const struct timespec& now) {
        const uint32_t released = Releases(semaphore).load();
        const bool holderless = Holder(semaphore).load() == 0 && Value(Data(semaphore).load()) == 0;
        if (!holderless || !watching || released != releases) {
            watching = holderless;
            releases = released;
            since = now;
            return false;
        }
        return !Before(now, After(since, kHolderlessSeconds));
    }
};

// What a wait is for beyond the lock itself: how often to look, and whether it is still wanted.
struct Purpose {
    double slice = kRecoverySliceSeconds;
    bool (*wanted)(const void*) = nullptr;
    const void* context = nullptr;
};

int WaitSlow(sem_t* semaphore, uint64_t self, const struct timespec* deadline,
             const Purpose& purpose) {
    uint64_t data = Data(semaphore).fetch_add(kWaiter) + kWaiter;
    HolderlessWatch watch;
    bool sliceEnded = false;
    for (;;) {
        if (Value(data) != 0) {
            if (!Data(semaphore).compare_exchange_weak(data, data - 1 - kWaiter)) continue;
            if (Claim(semaphore, self)) return 0;
            data = Data(semaphore).fetch_add(kWaiter) + kWaiter;
            continue;
        }
        // The holder is checked when a slice or the whole wait ran out, not at every wake.
        const struct timespec now = Now();
        if (sliceEnded && Recover(semaphore, self, watch.Expired(semaphore, now))) break;
        const bool late = deadline && !Before(now, *deadline);
        if (late || (sliceEnded && purpose.wanted && !purpose.wanted(purpose.context))) {
            Data(semaphore).fetch_sub(kWaiter);
            errno = late ? ETIMEDOUT : ECANCELED;
            return -1;
        }
        struct timespec slice = After(now, purpose.slice);
        if (deadline && Before(*deadline, slice)) slice = *deadline;
        const long waited = FutexWait(&semaphore->value, 0, &slice);
        sliceEnded = waited == -1 && errno == ETIMEDOUT;
        if (waited == -1 && errno == EINTR) {
            Data(semaphore).fetch_sub(kWaiter);
            errno = EINTR;
            return -1;
        }
        data = Data(semaphore).load();
    }
    Data(semaphore).fetch_sub(kWaiter);
    return 0;
}

int Wait(sem_t* semaphore, const struct timespec* timeout, const Purpose& purpose = {}) {
    if (!semaphore) {
        errno = EINVAL;
        return -1;
    }
    const uint64_t self = Self();
    if (TryTake(semaphore, self, false) == 0) return 0;
    if (!timeout) return WaitSlow(semaphore, self, nullptr, purpose);
    const struct timespec deadline =
        After(Now(), double(timeout->tv_sec) + double(timeout->tv_nsec) / 1e9);
    return WaitSlow(semaphore, self, &deadline, purpose);
}

bool PathOf(const char* folder, const char* name, std::string& path) {
    while (name && *name == '/')
        ++name;
    if (!folder || !name || !*name || std::strchr(name, '/') || std::strlen(name) > NAME_MAX - 4) {
        errno = EINVAL;
        return false;
    }
    path = std::string(folder) + "/sem." + name;
    return true;
}

// A new lock appears under its name fully initialised, or not at all.
int CreateInPlace(const std::string& path, unsigned mode, unsigned value) {
    std::string temporary = path.substr(0, path.rfind('/') + 1) + "sem.XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd == -1) return -1;
    sem_record record{};
    record.value = value;
    record.sharing = kSharedFutex;
    bool ok = ::write(fd, &record, sizeof record) == ssize_t(sizeof record) &&
              ::fchmod(fd, mode_t(mode)) == 0;
    if (ok && ::link(temporary.c_str(), path.c_str()) != 0) ok = false;
    const int linkError = errno;
    ::unlink(temporary.c_str());
    ::close(fd);
    errno = linkError;
    return ok ? 0 : -1;
}

// Only a regular file of ours, with no other name, can be a lock that no one else can touch. A
// record of ours cut short is lengthened when `repair`: its zeros are a lock taken by no holder,
// which a waiter recovers (SharedSemaphore.h).
bool IsOurs(int fd, bool repair, struct stat& st) {
    if (::fstat(fd, &st) != 0) return false;
    if (!S_ISREG(st.st_mode) || st.st_nlink != 1) {
        errno = EINVAL;
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        errno = EPERM;
        return false;
    }
    if (st.st_size < off_t(sizeof(sem_t)) &&
        !(repair && ::ftruncate(fd, off_t(sizeof(sem_t))) == 0)) {
        errno = EINVAL;
        return false;
    }
    return (st.st_mode & 077) == 0 || ::fchmod(fd, 0600) == 0;
}

} // namespace

sem_t* sem_open(const char* name, int oflag, unsigned mode, unsigned value, struct stat* record) {
    return sem_open_in(kRecordFolder, name, oflag, mode, value, record);
}

sem_t* sem_open_in(const char* folder, const char* name, int oflag, unsigned mode, unsigned value,
                   struct stat* record) {
    std::string path;
    if (!PathOf(folder, name, path)) return SEM_FAILED;
    if (value > 1 || (oflag & O_EXCL)) {
        errno = EINVAL;
        return SEM_FAILED;
    }
    int fd = -1;
    // Another process may create or remove the name between our open and our create.
    for (int attempt = 0; attempt < 8 && fd == -1; ++attempt) {
        fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd != -1) break;
        if (errno != ENOENT || !(oflag & O_CREAT)) return SEM_FAILED;
        if (CreateInPlace(path, mode, value) != 0 && errno != EEXIST) return SEM_FAILED;
    }
    if (fd == -1) return SEM_FAILED;
    struct stat st;
    if (!IsOurs(fd, oflag & O_CREAT, st)) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return SEM_FAILED;
    }
    void* memory = ::mmap(nullptr, sizeof(sem_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (memory == MAP_FAILED) return SEM_FAILED;
    mapping_guard::Guard(memory, sizeof(sem_t), PROT_READ | PROT_WRITE);
    if (record) *record = st;
    auto* semaphore = static_cast<sem_t*>(memory);
    // A binary lock counts no higher than one, whatever an older build left behind.
    uint64_t data = Data(semaphore).load();
    while (Value(data) > 1 && !Data(semaphore).compare_exchange_weak(data, (data >> 32 << 32) | 1))
        ;
    return semaphore;
}

int sem_close(sem_t* semaphore) {
    if (!semaphore) {
        errno = EINVAL;
        return -1;
    }
    mapping_guard::Unguard(semaphore);
    return ::munmap(semaphore, sizeof(sem_t));
}

int sem_post(sem_t* semaphore) {
    if (!semaphore) {
        errno = EINVAL;
        return -1;
    }
    uint64_t self = Self();
    if (Holder(semaphore).load() != self) {
        errno = EPERM;
        return -1;
    }
    Releases(semaphore).fetch_add(1);
    if (!Holder(semaphore).compare_exchange_strong(self, 0)) {
        errno = EPERM;
        return -1;
    }
    uint64_t data = Data(semaphore).load();
    do {
        if (Value(data) != 0) {
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
    return TryTake(semaphore, Self(), true);
}

int sem_wait(sem_t* semaphore) {
    return Wait(semaphore, nullptr);
}

int sem_timedwait_relative(sem_t* semaphore, const struct timespec* timeout) {
    return Wait(semaphore, timeout);
}

int sem_wait_while(sem_t* semaphore, const struct timespec* timeout, double every,
                   bool (*wanted)(const void*), const void* context) {
    if (every <= 0 || every > kRecoverySliceSeconds) every = kRecoverySliceSeconds;
    return Wait(semaphore, timeout, Purpose{every, wanted, context});
}

int sem_unlink(const char* name) {
    std::string path;
    return PathOf(kRecordFolder, name, path) ? ::unlink(path.c_str()) : -1;
}

} // namespace shared_semaphore
