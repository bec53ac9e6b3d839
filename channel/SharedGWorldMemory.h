#pragma once

#include "channel/CoreMappedFile.h"
#include "channel/CoreUnixSemaphore.h"
#include "channel/CoreUserFileName.h"
#include "channel/SharedCameraFormat.h"

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
class SharedGWorldMemory {
public:
    static constexpr unsigned kMaxBufferCount = 2;
    // The longest the writer waits for a buffer's lock before it writes the other buffer: no
    // reader holds back a broadcast of 30 frames a second for more than a frame.
    static constexpr double kWriterLockSeconds = 1.0 / 60;

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
    void SetAllowCameraConnections(uint32_t value) const;
    bool AllowCameraConnection(uint32_t count) const;

    const CoreUnixSemaphore* SemaphoreForBuffer(const void* pointer) const;
    // For a reader, waits while the buffer stays current; at most kWriterLockSeconds for the
    // writer.
    bool LockFrameBufferPtr(const void* pointer) const;
    bool UnLockFrameBufferPtr(const void* pointer) const;
    bool TryLockFrameBufferPtr(const void* pointer) const;
    // As LockFrameBufferPtr, giving up after the given seconds (none when negative).
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
    bool OpenView(Opening opening);
    bool TakeView();
    bool IsWritable() const;
    SharedCamera::Region* Region() const;

    uint32_t* _sharedRegion = nullptr;
    CoreMappedFile _mappedFile;
    CoreUnixSemaphore _bufferSemaphore0;
    CoreUnixSemaphore _bufferSemaphore1;
    bool _isWriter = false;
    bool _locksRefused = false;
    std::string _path;
    std::string _lockFolder;
};
