#pragma once

#include "channel/CoreMappedFile.h"
#include "channel/CoreUnixSemaphore.h"
#include "channel/CoreUserFileName.h"
#include "channel/SharedCameraFormat.h"
#include "channel/SharedCameraWait.h"

#include <atomic>
#include <cstdint>
#include <string>

// The shared camera region of this process: a mapping of the per-user region file holding two
// frame buffers, the tag of the newest complete one and the connection allowance, with one named
// semaphore per buffer, per user, as the lock between processes. Each open looks where the
// channel is (ChannelPlace.h) and says once when it moved. Addresses handed out are valid
// only in this process and only while the view stays open.
//
// Locks: a lock is released only by the process that holds it, and one whose holder died is
// taken over within a fraction of a second by the next process that needs it (SharedSemaphore.h).
// A reader's lock waits while a living process holds the buffer and the buffer is still the
// current one: once the writer made the other buffer current, the wait fails and the reader
// fetches that one. The writer's (a process that opened the writer's view) waits at most
// kWriterLockSeconds and then fails, so that the writer goes on through the other buffer and no
// reader can hold back the broadcast.
//
// Files that change under the process: the region and the locks are followed at their names. A
// region that shrank under the mapping (it leaves zero pages, never a SIGBUS: MappingGuard.h) or
// was replaced, and a lock record replaced or removed, are noticed by the next call (a fault at
// once, the names a few times a second), said once in the log and reopened: the writer recreates
// a region that is unsound or gone, a reader waits for a sound one. The region is mapped again at
// the same address, so addresses handed out stay valid. Reopening waits while this process holds
// or waits for a buffer's lock.
class SharedGWorldMemory {
public:
    static constexpr unsigned kMaxBufferCount = 2;
    // The longest the writer waits for a buffer's lock before it writes the other buffer: no
    // reader holds back a broadcast of 30 frames a second for more than a frame.
    static constexpr double kWriterLockSeconds = 1.0 / 60;
    // How often the names are compared with what is open: a recreated channel is followed well
    // within a second, at a handful of system calls a second.
    static constexpr double kFollowSeconds = 0.25;
    // A reader's longest wait: a healthy holder copies a frame out in a moment, and a buffer held
    // longer (a paused holder while the broadcast stands still) leaves the reader to show its
    // last frame again.
    static constexpr double kReaderLockSeconds = 1.0 / 60;

    constexpr SharedGWorldMemory() = default;
    ~SharedGWorldMemory();
    SharedGWorldMemory(const SharedGWorldMemory&) = delete;
    SharedGWorldMemory& operator=(const SharedGWorldMemory&) = delete;

    // The writer's open: reuses an existing region as it is, creates a fresh one otherwise, and
    // resets in place a file of ours whose header no build wrote (a region of another version is
    // left alone and never used).
    bool IsOpenWriteView();
    // Opens an existing region read-write; never creates it.
    bool OpenReadWriteView();
    // Opens an existing region read-only, over the file's actual length.
    bool OpenReadView();
    bool Close();
    bool OpenSemaphores();
    bool CloseSemaphores();

    uint8_t* GetWriteBuffer_N(unsigned n) const;
    bool SetCurrentWriteBuffer(const void* pointer) const;
    uint8_t* GetCurrentReadBuffer() const;
    // A reader's wait for the writer's next frame (SharedCameraWait.h); only the time and the
    // interrupt without a sound region. A region replaced during the wait is not followed: the
    // wait ends at its time.
    SharedCameraWaitOutcome AwaitPublish(const void* shown, bool watch, int64_t nanoseconds,
                                         const uint32_t* interrupt, uint32_t seen) const;
    void SetAllowCameraConnections(uint32_t value) const;
    bool AllowCameraConnection(uint32_t count) const;

    const CoreUnixSemaphore* SemaphoreForBuffer(const void* pointer) const;
    // For a reader, waits while the buffer stays current, at most kReaderLockSeconds; at most
    // kWriterLockSeconds for the writer.
    bool LockFrameBufferPtr(const void* pointer) const;
    bool UnLockFrameBufferPtr(const void* pointer) const;
    bool TryLockFrameBufferPtr(const void* pointer) const;
    // As LockFrameBufferPtr, giving up after the given seconds (the default when negative).
    bool LockFrameBufferPtrWithin(const void* pointer, double seconds) const;

    bool IsViewOpen() const { return _mappedFile.IsOpen(); }
    // The region file the last open looked at: the documented name, or where the channel moved
    // because another user holds one of its names (ChannelPlace.h).
    const std::string& Path() const { return _path; }
    // Whether the last open failed at the locks, the file having opened.
    bool AreLocksRefused() const { return _locksRefused; }
    // Whether the open region is a whole region of this version.
    bool IsHeaderValid() const;

    static CoreUserFileName sFileMappingPath;
    static SharedGWorldMemory sSingleton;

private:
    enum class Opening { kReuseOnly, kCreateIfNeeded, kReadOnly };
    class Use;
    bool OpenView(Opening opening);
    bool Attach(Opening opening, bool quiet);
    void Follow();
    void FollowNames();
    bool TakeView();
    bool IsWritable() const;
    SharedCamera::Region* Region() const;

    uint32_t* _sharedRegion = nullptr;
    CoreMappedFile _mappedFile;
    CoreUnixSemaphore _bufferSemaphore0;
    CoreUnixSemaphore _bufferSemaphore1;
    bool _isWriter = false;
    // Calls under way that use the locks (-1 while the channel is reopened), and locks held.
    mutable std::atomic<int> _users{0};
    mutable std::atomic<int> _held{0};
    std::atomic<int64_t> _nextFollow{0};
    bool _locksRefused = false;
    std::string _path;
    std::string _lockFolder;
};
