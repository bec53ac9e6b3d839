#include "channel/CoreUnixSemaphore.h"

#include "channel/ChannelPlace.h"
#include "channel/ChannelReport.h"
#include "core/CoreVerify.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>

using namespace shared_semaphore;

bool CoreUnixSemaphore::OpenCreate(const char* folder, const char* in_semaphore_name) {
    if (IsOpen()) return false;
    _recordPath = std::string(folder) + "/sem." + in_semaphore_name;
    struct stat record {};
    _semaphore_id = sem_open_in(folder, in_semaphore_name, O_CREAT, global_permissions_mode,
                                initial_semaphore_value, &record);
    if (IsOpen()) {
        _device = record.st_dev;
        _inode = record.st_ino;
        return true;
    }
    const int error = errno;
    ChannelReport("CoreUnixSemaphore: refused the frame lock %s: %s\n", _recordPath.c_str(),
                  RefusalReason(_recordPath.c_str(), error, sizeof(sem_t)).c_str());
    return false;
}

bool CoreUnixSemaphore::Close() {
    // clang-format off
    if (!VERIFY(_semaphore_id!=NULL)) return false;
    // clang-format on
    const int result = sem_close(_semaphore_id);
    _semaphore_id = SEM_FAILED;
    return result == 0;
}

mapping_guard::Drift CoreUnixSemaphore::DriftFrom() const {
    if (!IsOpen()) return mapping_guard::Drift::kNone;
    return mapping_guard::DriftFrom(_recordPath.c_str(), _device, _inode, sizeof(sem_t),
                                    _semaphore_id);
}

bool CoreUnixSemaphore::Post() const {
    return IsOpen() && sem_post(_semaphore_id) != -1;
}

bool CoreUnixSemaphore::Wait() const {
    return IsOpen() && sem_wait(_semaphore_id) != -1;
}

bool CoreUnixSemaphore::TryWait() const {
    return IsOpen() && sem_trywait(_semaphore_id) != -1;
}

namespace {

struct timespec Relative(double seconds) {
    struct timespec timeout;
    timeout.tv_sec = time_t(seconds);
    timeout.tv_nsec = long((seconds - double(timeout.tv_sec)) * 1e9);
    return timeout;
}

} // namespace

bool CoreUnixSemaphore::TimedWait(double seconds) const {
    if (!IsOpen()) return false;
    const struct timespec timeout = Relative(seconds);
    return sem_timedwait_relative(_semaphore_id, &timeout) != -1;
}

bool CoreUnixSemaphore::WaitWhile(double seconds, double every, bool (*wanted)(const void*),
                                  const void* context) const {
    if (!IsOpen()) return false;
    const struct timespec timeout = Relative(seconds);
    return sem_wait_while(_semaphore_id, seconds >= 0 ? &timeout : nullptr, every, wanted,
                          context) != -1;
}
