#include "component/MY_LIL_DEVICE.h"

#include "channel/SharedGWorldMemory.h"
#include "core/CoreVerify.h"

#include <algorithm>
#include <chrono>
#include <cstring>

using platform::kNoErr;
using platform::kParamErr;
using platform::OSErr;

namespace {
constexpr const char* kDeviceName = "Vistrel";
} // namespace

MY_LIL_DEVICE::MY_LIL_DEVICE() = default;

bool MY_LIL_DEVICE::Connect() {
    std::strcpy(_deviceName, kDeviceName);
    _frameSizeBytes = kFrameSizeBytes;
    _compressionOn = 0;
    _frameCount = 0;
    return true;
}

void MY_LIL_DEVICE::Disconnect() {
    _frameSizeBytes = 0;
    _frameCount = 0;
}

OSErr MY_LIL_DEVICE::GetDeviceName(unsigned char* name) const {
    if (!name) return kParamErr;
    platform::quicktime::CopyCStringToPascal(_deviceName, name);
    return kNoErr;
}

void MY_LIL_DEVICE::SetDeviceNameSuffix(const char* suffix) {
    if (!suffix) return;
    const size_t used = std::strlen(_deviceName);
    std::strncat(_deviceName, suffix, sizeof _deviceName - used - 1);
}

void MY_LIL_DEVICE::GetMaxSrcRectFromDevice(platform::quicktime::Rect* rect) const {
    if (rect) *rect = platform::quicktime::Rect{0, 0, kFrameHeightPixels, kFrameWidthPixels};
}

OSErr MY_LIL_DEVICE::SetCompressionOnOff(int32_t on) {
    _compressionOn = on;
    return kNoErr;
}

void* MY_LIL_DEVICE::GetCurrentFrameBufferPtr(int32_t) const {
    // No current frame yet is no fault: the caller reports it, once per request.
    SharedGWorldMemory& memory = SharedGWorldMemory::sSingleton;
    return memory.OpenReadWriteView() ? memory.GetCurrentReadBuffer() : nullptr;
}

OSErr MY_LIL_DEVICE::GetFrame(uint8_t* queuedFrameCount, char** data, long* dataSize) {
    ++_frameCount;
    SharedGWorldMemory& memory = SharedGWorldMemory::sSingleton;
    // Without the shared memory no frame is ready, as when a lock is not had in time.
    if (!memory.OpenReadWriteView()) {
        if (queuedFrameCount) *queuedFrameCount = 0;
        return kNoErr;
    }
    void* frameBuffer = memory.GetCurrentReadBuffer();
    // clang-format off
    if (!VERIFY(frameBuffer!=NULL)) return kParamErr;
    // clang-format on
    // The wait is bounded (kFrameLockWaitSeconds), and a lock given up because a newer frame
    // became current is asked again for that frame.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(kFrameLockWaitSeconds);
    const auto remaining = [&] {
        return std::max(
            0.0,
            std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count());
    };
    bool fLocked = false;
    while (!(fLocked = memory.LockFrameBufferPtrWithin(frameBuffer, remaining()))) {
        void* newer = GetCurrentFrameBufferPtr(_frameCount);
        if (!newer || newer == frameBuffer || std::chrono::steady_clock::now() >= deadline) break;
        frameBuffer = newer;
    }
    if (queuedFrameCount) *queuedFrameCount = fLocked ? 1 : 0;
    if (!fLocked) return kNoErr;
    if (data) *data = static_cast<char*>(frameBuffer);
    if (dataSize) *dataSize = _frameSizeBytes;
    return kNoErr;
}

OSErr MY_LIL_DEVICE::ReleaseCompressBuffer(char* data) {
    SharedGWorldMemory::sSingleton.UnLockFrameBufferPtr(data);
    return kNoErr;
}
