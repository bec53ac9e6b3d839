#pragma once

#include "channel/SharedCameraFormat.h"
#include "platform/quicktime/QuickTimeTypes.h"

#include <cstdint>

// The device behind the digitizer: it has no sensor and takes its frames from the shared camera
// memory of this process. A frame is handed out in place with its buffer's lock held, and the
// lock is released when the frame is given back.
class MY_LIL_DEVICE {
public:
    static constexpr int kFrameWidthPixels = SharedCamera::kFrameWidth;
    static constexpr int kFrameHeightPixels = SharedCamera::kFrameHeight;
    static constexpr int32_t kFrameSizeBytes = SharedCamera::kFrameSizeBytes;
    static constexpr int kDeviceNameCapacity = 68;
    // How long GetFrame waits for a buffer's lock: a healthy holder copies a frame out in a
    // moment. Longer (a paused holder while the writer stands still) no frame is ready, and the
    // host shows its last one again at its own rate.
    static constexpr double kFrameLockWaitSeconds = 1.0 / 60;

    MY_LIL_DEVICE();
    MY_LIL_DEVICE(const MY_LIL_DEVICE&) = delete;
    MY_LIL_DEVICE& operator=(const MY_LIL_DEVICE&) = delete;

    bool Connect();
    void Disconnect();

    platform::OSErr GetDeviceName(unsigned char* name) const;
    void SetDeviceNameSuffix(const char* suffix);
    void GetMaxSrcRectFromDevice(platform::quicktime::Rect* rect) const;
    int32_t FrameSizeBytes() const { return kFrameSizeBytes; }
    platform::OSErr SetCompressionOnOff(int32_t on);

    // The newest frame's address, not locked; null without the shared memory.
    void* GetCurrentFrameBufferPtr(int32_t frameNumber) const;
    // The newest frame with its buffer locked; 0 or -50 (nothing published). None queued when
    // its lock was not had in time.
    platform::OSErr GetFrame(uint8_t* queuedFrameCount, char** data, long* dataSize);
    platform::OSErr ReleaseCompressBuffer(char* data);

private:
    char _deviceName[kDeviceNameCapacity] = {};
    int32_t _frameSizeBytes = kFrameSizeBytes;
    int32_t _frameCount = 0;
    int32_t _compressionOn = 0;
};
