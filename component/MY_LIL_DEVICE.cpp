#include "component/MY_LIL_DEVICE.h"

#include "channel/SharedGWorldMemory.h"
#include "core/CoreVerify.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

using platform::kNoErr;
using platform::kParamErr;
using platform::OSErr;

namespace {
constexpr const char* kDeviceName = "Vistrel";
} // namespace

MY_LIL_DEVICE::MY_LIL_DEVICE() {
    // clang-format off
    if (VERIFY(_framePtr = malloc(kFrameSizeBytes*2)))
        // clang-format on
        std::memset(_framePtr, 0, kFrameSizeBytes);
    _frameSizeBytes = kFrameSizeBytes;
    _compressionOn = 0;
    _frameCount = 0;
}

MY_LIL_DEVICE::~MY_LIL_DEVICE() {
    std::free(_framePtr);
}

bool MY_LIL_DEVICE::Connect() {
    std::strcpy(_deviceName, kDeviceName);
    _frameSizeBytes = kFrameSizeBytes;
    _compressionOn = 0;
    _frameCount = 0;
    return true;
}

void MY_LIL_DEVICE::Disconnect() {
    if (!_framePtr) return;
    std::free(_framePtr);
    _framePtr = nullptr;
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
    if (SharedGWorldMemory::sSingleton.OpenReadWriteView())
        return SharedGWorldMemory::sSingleton.GetCurrentReadBuffer();
    void* currentFrameBufferPtr = nullptr;
    // clang-format off
    VERIFY(currentFrameBufferPtr = _framePtr);
    // clang-format on
    return currentFrameBufferPtr;
}

OSErr MY_LIL_DEVICE::GetFrame(uint8_t* queuedFrameCount, char** data, long* dataSize) {
    ++_frameCount;
    void* frameBuffer = GetCurrentFrameBufferPtr(_frameCount);
    // clang-format off
    if (!VERIFY(frameBuffer!=NULL)) return kParamErr;
    // clang-format on
    // Only the shared buffers have locks, so the fallback frame is never handed out. The wait is
    // bounded (kFrameLockWaitSeconds), and a lock given up because a newer frame became current
    // is asked again for that frame.
    SharedGWorldMemory& memory = SharedGWorldMemory::sSingleton;
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
