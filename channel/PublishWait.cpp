#include "channel/PublishWait.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace publish_wait {

namespace {

constexpr int64_t kBillion = 1'000'000'000;
// Kernels without futex_waitv wait on one word at a time and look at the other this often.
constexpr int64_t kSingleWordSlice = 10'000'000;

// futex_waitv's timeout has 64-bit fields in the 32-bit ABI too.
struct Timeout64 {
    int64_t seconds;
    int64_t nanoseconds;
};

uint32_t Load(const uint32_t* word) {
    return __atomic_load_n(word, __ATOMIC_ACQUIRE);
}

long Futex(const uint32_t* word, int op, uint32_t value, const timespec* timeout) {
    return ::syscall(SYS_futex, word, op, value, timeout, nullptr, 0);
}

SharedCameraWaitOutcome Moved(const uint32_t* shared, uint32_t expected, const uint32_t* interrupt,
                              uint32_t seen) {
    if (interrupt && Load(interrupt) != seen) return kSharedCameraWaitInterrupted;
    if (shared && Load(shared) != expected) return kSharedCameraFrameWaiting;
    return kSharedCameraWaitTimedOut;
}

// One word at a time (the channel's, else the interrupt), the other looked at between slices; a
// slice that ends early answers timed out, and the caller waits again for what is left.
SharedCameraWaitOutcome OneWord(const uint32_t* shared, uint32_t expected,
                                const uint32_t* interrupt, uint32_t seen, int64_t nanoseconds) {
    const int64_t slice =
        shared && interrupt ? std::min(nanoseconds, kSingleWordSlice) : nanoseconds;
    const timespec relative{time_t(slice / kBillion), long(slice % kBillion)};
    const uint32_t* word = shared ? shared : interrupt;
    const long result = word ? Futex(word, shared ? FUTEX_WAIT : FUTEX_WAIT_PRIVATE,
                                     shared ? expected : seen, &relative)
                             : ::nanosleep(&relative, nullptr);
    if (result == 0 && word)
        return shared ? kSharedCameraFramePublished : kSharedCameraWaitInterrupted;
    if (result != 0 && errno == EINTR) return kSharedCameraWaitInterrupted;
    return Moved(shared, expected, interrupt, seen);
}

} // namespace

void WakeAll(uint32_t* shared) {
    Futex(shared, FUTEX_WAKE, INT_MAX, nullptr);
}

void Interrupt(uint32_t* interrupt) {
    __atomic_add_fetch(interrupt, 1, __ATOMIC_RELEASE);
    Futex(interrupt, FUTEX_WAKE_PRIVATE, INT_MAX, nullptr);
}

SharedCameraWaitOutcome Wait(const uint32_t* shared, uint32_t expected, const uint32_t* interrupt,
                             uint32_t seen, int64_t nanoseconds) {
    const SharedCameraWaitOutcome moved = Moved(shared, expected, interrupt, seen);
    if (moved != kSharedCameraWaitTimedOut || nanoseconds <= 0) return moved;
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const int64_t until = int64_t(now.tv_nsec) + nanoseconds;
    const Timeout64 deadline{int64_t(now.tv_sec) + until / kBillion, until % kBillion};
    futex_waitv waiters[2]{};
    unsigned count = 0;
    if (shared) waiters[count++] = {expected, uintptr_t(shared), FUTEX_32, 0};
    if (interrupt)
        waiters[count++] = {seen, uintptr_t(interrupt), FUTEX_32 | FUTEX_PRIVATE_FLAG, 0};
    if (count == 0) return OneWord(nullptr, 0, nullptr, 0, nanoseconds);
    const long woken = ::syscall(SYS_futex_waitv, waiters, count, 0, &deadline, CLOCK_MONOTONIC);
    if (woken >= 0)
        return waiters[woken].uaddr == uintptr_t(shared) ? kSharedCameraFramePublished
                                                         : kSharedCameraWaitInterrupted;
    switch (errno) {
    case EINTR:
        return kSharedCameraWaitInterrupted;
    case ENOSYS:
        return OneWord(shared, expected, interrupt, seen, nanoseconds);
    case EFAULT: // the channel's page went with a file cut short: the time and interrupt only
        return shared ? Wait(nullptr, 0, interrupt, seen, nanoseconds)
                      : OneWord(nullptr, 0, nullptr, 0, nanoseconds);
    default:
        return Moved(shared, expected, interrupt, seen);
    }
}

} // namespace publish_wait
