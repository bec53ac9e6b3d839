#include "channel/SharedCameraEntryPoints.h"

#include "channel/PublishWait.h"
#include "channel/SharedGWorldMemory.h"
#include "core/CoreVerify.h"

#include <cstring>

namespace {

SharedGWorldMemory& Memory() {
    return SharedGWorldMemory::sSingleton;
}

void FillRecord(tagSHARED_CAMERA_BUFFER* record, void* buffer) {
    record->frameBufferPtr = buffer;
    record->frameBufferRowBytes = SharedCamera::kFrameRowBytes;
    record->frameBufferSizeBytes = SharedCamera::kFrameSizeBytes;
    record->frameWidth = SharedCamera::kFrameWidth;
    record->frameHeight = SharedCamera::kFrameHeight;
    record->framePixelFormat = SharedCamera::kFramePixelFormat;
}

// A region cut short during a writer's call leaves zero pages and fails the call; the next open
// recreates it, so the call is made once more.
template <typename Call> auto Twice(const Call& call) {
    const auto result = call();
    return result ? result : call();
}

bool IsOwnRecordSize(const tagSHARED_CAMERA_BUFFER* record) {
    return record && record->sizeofSHARED_CAMERA_BUFFER == sizeof(tagSHARED_CAMERA_BUFFER);
}

} // namespace

SHARED_CAMERA_EXPORT bool __public_fn_(tagSHARED_CAMERA_CONTROL* control) {
    if (!control || control->sizeofSHARED_CAMERA_CONTROL != sizeof(tagSHARED_CAMERA_CONTROL))
        return false;
    if (!Memory().IsOpenWriteView()) return false;
    Memory().SetAllowCameraConnections(control->allowCameraConnections != 0
                                           ? SharedCamera::kUnlimitedCameraConnections
                                           : SharedCamera::kNoCameraConnections);
    return true;
}

SHARED_CAMERA_EXPORT bool __public_fn0(int n, tagSHARED_CAMERA_BUFFER* record) {
    if (!IsOwnRecordSize(record)) return false;
    unsigned Buffer_N = unsigned(n);
    // clang-format off
    if (!VERIFY(Buffer_N<SharedGWorldMemory::kMaxBufferCount)) Buffer_N = SharedGWorldMemory::kMaxBufferCount;
    // clang-format on
    uint8_t* buffer = Twice(
        [&] { return Memory().IsOpenWriteView() ? Memory().GetWriteBuffer_N(Buffer_N) : nullptr; });
    if (!buffer) {
        std::memset(record, 0, sizeof *record);
        return false;
    }
    FillRecord(record, buffer);
    return true;
}

SHARED_CAMERA_EXPORT bool __public_fn1(void* address) {
    return Twice(
        [&] { return Memory().IsOpenWriteView() && Memory().SetCurrentWriteBuffer(address); });
}

SHARED_CAMERA_EXPORT bool __public_fn2(tagSHARED_CAMERA_BUFFER* record) {
    if (!IsOwnRecordSize(record)) return false;
    // With connections refused, no reader is shown the broadcast.
    uint8_t* buffer = Memory().OpenReadWriteView() && Memory().AllowCameraConnection(1)
                          ? Memory().GetCurrentReadBuffer()
                          : nullptr;
    if (!buffer) {
        record->frameBufferPtr = nullptr;
        return false;
    }
    FillRecord(record, buffer);
    return true;
}

SHARED_CAMERA_EXPORT bool __public_fn3(void* address) {
    return address && Memory().OpenReadWriteView() && Memory().TryLockFrameBufferPtr(address);
}

SHARED_CAMERA_EXPORT bool __public_fn4(void* address) {
    return address && Memory().OpenReadWriteView() && Memory().LockFrameBufferPtr(address);
}

SHARED_CAMERA_EXPORT bool __public_fn5(void* address) {
    return address && Memory().OpenReadWriteView() && Memory().UnLockFrameBufferPtr(address);
}

SHARED_CAMERA_EXPORT int SharedCameraAwaitPublish(const void* shown, int watch, int64_t nanoseconds,
                                                  const uint32_t* interrupt, uint32_t seen) {
    const bool open = watch != 0 && Memory().OpenReadWriteView();
    return Memory().AwaitPublish(shown, open, nanoseconds, interrupt, seen);
}

SHARED_CAMERA_EXPORT void SharedCameraInterruptWait(uint32_t* interrupt) {
    if (interrupt) publish_wait::Interrupt(interrupt);
}
