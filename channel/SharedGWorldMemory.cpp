#include "channel/SharedGWorldMemory.h"

#include "channel/ChannelPlace.h"
#include "channel/ChannelReport.h"
#include "channel/PublishWait.h"
#include "core/CoreVerify.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>

using namespace SharedCamera;

namespace {

// The tag and the allowance are single aligned words shared with other processes.
uint32_t LoadWord(uint32_t& word) {
    return std::atomic_ref<uint32_t>(word).load(std::memory_order_acquire);
}

void StoreWord(uint32_t& word, uint32_t value) {
    std::atomic_ref<uint32_t>(word).store(value, std::memory_order_release);
}

} // namespace

SharedGWorldMemory::~SharedGWorldMemory() {
    _sharedRegion = nullptr;
    if (_bufferSemaphore1.IsOpen()) _bufferSemaphore1.Close();
    if (_bufferSemaphore0.IsOpen()) _bufferSemaphore0.Close();
    _mappedFile.Close();
}

SharedCamera::Region* SharedGWorldMemory::Region() const {
    return reinterpret_cast<SharedCamera::Region*>(_sharedRegion);
}

bool SharedGWorldMemory::IsOpenWriteView() {
    if (!OpenView(Opening::kCreateIfNeeded)) return false;
    _isWriter = true;
    return true;
}

bool SharedGWorldMemory::OpenReadWriteView() {
    return OpenView(Opening::kReuseOnly);
}

bool SharedGWorldMemory::OpenReadView() {
    return OpenView(Opening::kReadOnly);
}

// Said once per process and place: every open asks again while the channel is closed.
static void ReportPlace(const ChannelPlace& place) {
    static std::mutex sLock;
    static std::string sSaid;
    const std::string text = place.Explanation();
    std::lock_guard<std::mutex> hold(sLock);
    if (text.empty() || text == sSaid) return;
    sSaid = text;
    ChannelReport("SharedGWorldMemory: %s\n", text.c_str());
}

bool SharedGWorldMemory::OpenView(Opening opening) {
    if (!_mappedFile.IsMapped()) return Attach(opening, false);
    _mappedFile.Probe();
    Follow();
    return _mappedFile.IsOpen();
}

bool SharedGWorldMemory::Attach(Opening opening, bool quiet) {
    _locksRefused = false;
    const ChannelPlace place = ResolveChannelPlace(sFileMappingPath.c_str());
    ReportPlace(place);
    if (place.file.empty()) return false;
    _path = place.file;
    _lockFolder = place.lockFolder;
    const char* path = _path.c_str();
    const bool handedOut = _mappedFile.IsMapped();
    _mappedFile.SetQuiet(quiet);
    bool opened = opening == Opening::kReadOnly ? _mappedFile.OpenRead(path)
                                                : _mappedFile.OpenReadWrite(path, kRegionSizeBytes);
    // Only the writer repairs, and only a header that no build ever wrote: a region of another
    // version belongs to that version's writer.
    if (opened && opening == Opening::kCreateIfNeeded &&
        static_cast<const SharedCamera::Region*>(_mappedFile.Base())->appSignature !=
            kApplicationSignature) {
        if (!quiet) ChannelReport("SharedGWorldMemory: %s had a damaged header: reset\n", path);
        _mappedFile.Detach();
        opened = false;
    }
    bool created = false;
    if (!opened && opening == Opening::kCreateIfNeeded) {
        created = _mappedFile.CreateReadWrite(path, kRegionSizeBytes);
        if (created && _mappedFile.Protection() == CoreMappedFile::kProtectReadWrite) {
            auto* region = static_cast<SharedCamera::Region*>(_mappedFile.Base());
            region->appSignature = kApplicationSignature;
            region->appVersion = kApplicationVersion;
            region->trailerSignature = kApplicationSignature;
        }
        opened = created;
    }
    _mappedFile.SetQuiet(false);
    if (!opened || !TakeView()) return false;
    if (!IsHeaderValid() && !quiet)
        ChannelReport("SharedGWorldMemory: refused %s: not a channel of this version\n", path);
    // Without both locks the view is given up, so that the next open tries afresh; addresses
    // already handed out stay mapped (as zero pages) meanwhile.
    if (OpenSemaphores()) return true;
    if (handedOut) {
        _mappedFile.Detach();
        CloseSemaphores();
    } else {
        Close();
    }
    _locksRefused = true;
    return false;
}

// Users of the locks: a reopen takes the channel only while there are none.
class SharedGWorldMemory::Use {
public:
    explicit Use(const SharedGWorldMemory& memory) : _users(memory._users) {
        for (int users = _users.load();; users = _users.load()) {
            if (users >= 0 && _users.compare_exchange_weak(users, users + 1)) return;
            if (users < 0) std::this_thread::yield();
        }
    }
    ~Use() { _users.fetch_sub(1); }

private:
    std::atomic<int>& _users;
};

void SharedGWorldMemory::Follow() {
    const bool faulted = mapping_guard::Faulted(_mappedFile.Base()) ||
                         _bufferSemaphore0.Faulted() || _bufferSemaphore1.Faulted();
    const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
    int64_t due = _nextFollow.load();
    if (!faulted && (now < due || !_nextFollow.compare_exchange_strong(
                                      due, now + int64_t(kFollowSeconds * 1e9))))
        return;
    int idle = 0;
    if (!_users.compare_exchange_strong(idle, -1)) return;
    if (_held.load() <= 0) FollowNames();
    _users.store(0);
}

void SharedGWorldMemory::FollowNames() {
    using mapping_guard::Drift;
    const char* path = _path.c_str();
    const Drift drift = _mappedFile.IsOpen() ? _mappedFile.DriftFrom(path) : Drift::kNone;
    // A region that is gone is the writer's to recreate; a reader keeps what it has meanwhile.
    if (drift != Drift::kNone && (drift != Drift::kRemoved || _isWriter)) {
        ChannelReport("SharedGWorldMemory: %s %s: %s\n", path, mapping_guard::Words(drift),
                      _isWriter ? "recreating it" : "reopening it once it is sound");
        _mappedFile.Detach();
    }
    if (!_mappedFile.IsOpen())
        Attach(_isWriter      ? Opening::kCreateIfNeeded
               : IsWritable() ? Opening::kReuseOnly
                              : Opening::kReadOnly,
               true);
    const unsigned long uid = ::geteuid();
    for (unsigned n : {0u, 1u}) {
        CoreUnixSemaphore& semaphore = n == 0 ? _bufferSemaphore0 : _bufferSemaphore1;
        const Drift lockDrift = semaphore.DriftFrom();
        if (lockDrift == Drift::kNone) continue;
        ChannelReport("SharedGWorldMemory: %s %s: reopening it\n", semaphore.RecordPath().c_str(),
                      mapping_guard::Words(lockDrift));
        semaphore.Close();
        semaphore.OpenCreate(_lockFolder.c_str(), SemaphoreName(n, uid).c_str());
    }
}

bool SharedGWorldMemory::TakeView() {
    _sharedRegion = static_cast<uint32_t*>(_mappedFile.Base());
    if (_sharedRegion && _mappedFile.Size() != 0) return true;
    _sharedRegion = nullptr;
    return false;
}

bool SharedGWorldMemory::Close() {
    const bool wasOpen = _mappedFile.IsOpen();
    _sharedRegion = nullptr;
    _isWriter = false;
    _mappedFile.Close();
    CloseSemaphores();
    return wasOpen;
}

bool SharedGWorldMemory::OpenSemaphores() {
    const unsigned long uid = ::geteuid();
    const char* folder = _lockFolder.c_str();
    const bool open0 = _bufferSemaphore0.IsOpen() ||
                       _bufferSemaphore0.OpenCreate(folder, SemaphoreName(0, uid).c_str());
    const bool open1 = _bufferSemaphore1.IsOpen() ||
                       _bufferSemaphore1.OpenCreate(folder, SemaphoreName(1, uid).c_str());
    return open0 && open1;
}

bool SharedGWorldMemory::CloseSemaphores() {
    const bool closed0 = _bufferSemaphore0.IsOpen() && _bufferSemaphore0.Close();
    const bool closed1 = _bufferSemaphore1.IsOpen() && _bufferSemaphore1.Close();
    return closed0 && closed1;
}

bool SharedGWorldMemory::IsHeaderValid() const {
    if (!_mappedFile.IsOpen() || !_sharedRegion) return false;
    // A region shorter than the layout (a read-only view of a short file) has no valid header.
    if (_mappedFile.Size() < kRegionSizeBytes) return false;
    return Region()->appSignature == kApplicationSignature &&
           Region()->appVersion == kApplicationVersion;
}

bool SharedGWorldMemory::IsWritable() const {
    return _mappedFile.Protection() == CoreMappedFile::kProtectReadWrite;
}

uint8_t* SharedGWorldMemory::GetWriteBuffer_N(unsigned n) const {
    if (!IsHeaderValid() || !IsWritable()) return nullptr;
    if (n == 0) return Region()->frameBuffer0;
    if (n == 1) return Region()->frameBuffer1;
    return nullptr;
}

bool SharedGWorldMemory::SetCurrentWriteBuffer(const void* pointer) const {
    if (!IsHeaderValid() || !IsWritable()) return false;
    uint32_t tag;
    if (pointer == Region()->frameBuffer0)
        tag = kBufferTag0;
    else if (pointer == Region()->frameBuffer1)
        tag = kBufferTag1;
    else if (pointer == nullptr)
        tag = kNoBufferTag;
    else
        return false;
    StoreWord(Region()->currentBufferTag, tag);
    // Readers sleep on the tag until a frame is made current; a frame of the same buffer again
    // leaves the word as it was, so the wake is unconditional.
    publish_wait::WakeAll(&Region()->currentBufferTag);
    return true;
}

SharedCameraWaitOutcome SharedGWorldMemory::AwaitPublish(const void* shown, bool watch,
                                                         int64_t nanoseconds,
                                                         const uint32_t* interrupt,
                                                         uint32_t seen) const {
    if (!watch || !IsHeaderValid())
        return publish_wait::Wait(nullptr, 0, interrupt, seen, nanoseconds);
    const uint32_t* word = &Region()->currentBufferTag;
    const uint32_t expected = shown == Region()->frameBuffer0   ? kBufferTag0
                              : shown == Region()->frameBuffer1 ? kBufferTag1
                              : shown == nullptr ? LoadWord(Region()->currentBufferTag)
                                                 : kNoBufferTag;
    return publish_wait::Wait(word, expected, interrupt, seen, nanoseconds);
}

uint8_t* SharedGWorldMemory::GetCurrentReadBuffer() const {
    if (!IsHeaderValid()) return nullptr;
    switch (LoadWord(Region()->currentBufferTag)) {
    case kBufferTag1:
        return Region()->frameBuffer1;
    case kBufferTag0:
        return Region()->frameBuffer0;
    default:
        return nullptr;
    }
}

void SharedGWorldMemory::SetAllowCameraConnections(uint32_t value) const {
    if (!IsHeaderValid() || !IsWritable()) return;
    StoreWord(Region()->allowedConnections, value);
}

bool SharedGWorldMemory::AllowCameraConnection(uint32_t count) const {
    if (!IsHeaderValid()) return false;
    const uint32_t allowed = LoadWord(Region()->allowedConnections);
    if (allowed == kNoCameraConnections) return false;
    if (allowed == kUnlimitedCameraConnections) return true;
    return allowed >= count;
}

const CoreUnixSemaphore* SharedGWorldMemory::SemaphoreForBuffer(const void* pointer) const {
    if (!_sharedRegion || !pointer) return nullptr;
    if (pointer == Region()->frameBuffer0) return &_bufferSemaphore0;
    if (pointer == Region()->frameBuffer1) return &_bufferSemaphore1;
    return nullptr;
}

namespace {

struct ReaderWait {
    const SharedGWorldMemory* memory;
    const void* buffer;
};

bool IsStillCurrent(const void* context) {
    const auto* wait = static_cast<const ReaderWait*>(context);
    return wait->memory->GetCurrentReadBuffer() == wait->buffer;
}

} // namespace

bool SharedGWorldMemory::LockFrameBufferPtr(const void* pointer) const {
    return LockFrameBufferPtrWithin(pointer, -1);
}

bool SharedGWorldMemory::UnLockFrameBufferPtr(const void* pointer) const {
    const Use use(*this);
    const CoreUnixSemaphore* semaphore = SemaphoreForBuffer(pointer);
    const bool released = semaphore && semaphore->Post();
    if (released) _held.fetch_sub(1);
    return released;
}

bool SharedGWorldMemory::TryLockFrameBufferPtr(const void* pointer) const {
    const Use use(*this);
    const CoreUnixSemaphore* semaphore = SemaphoreForBuffer(pointer);
    const bool locked = semaphore && semaphore->TryWait();
    if (locked) _held.fetch_add(1);
    return locked;
}

bool SharedGWorldMemory::LockFrameBufferPtrWithin(const void* pointer, double seconds) const {
    const Use use(*this);
    const CoreUnixSemaphore* semaphore = SemaphoreForBuffer(pointer);
    if (!semaphore) return false;
    // A reader that fetched the current frame just before the writer moved on may find that
    // buffer held for long (a paused client's): it gives up as soon as a newer frame is current,
    // which is then the one to fetch.
    const ReaderWait wait{this, pointer};
    const bool locked = _isWriter ? semaphore->TimedWait(seconds < 0 ? kWriterLockSeconds : seconds)
                                  : semaphore->WaitWhile(seconds < 0 ? kReaderLockSeconds : seconds,
                                                         kWriterLockSeconds, IsStillCurrent, &wait);
    if (locked) _held.fetch_add(1);
    return locked;
}
