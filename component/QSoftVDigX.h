#pragma once

#include "component/MY_LIL_DEVICE.h"
#include "component/QVDigDeviceBase.h"

// The software digitizer: delivers the shared camera memory's 640 x 480 ARGB frames, type 'raw '
// at depth 32, in place and unconverted.
class QSoftVDigX : public QVDigDeviceBase {
public:
    typedef MY_LIL_DEVICE device_t;

    ComponentResult GetUniqueIDs(UInt64* outDeviceID, UInt64* outInputID) override;
    ComponentResult SelectUniqueIDs(const UInt64* inDeviceID, const UInt64* inInputID) override;
    ComponentResult SetFrameRate(Fixed inFramesPerSecond) override;

    bool DeviceConnect() override;
    void DeviceDisconnect() override;
    ComponentResult DeviceCreateImageDescription() override;
    void DeviceGetMaxSrcRect(Rect* rect) override;
    ComponentResult DeviceGetFrame(UInt8* queuedFrameCount, Ptr* data, long* dataSize) override;
    ComponentResult DeviceGetName(Str255 name) override;
    ComponentResult DeviceReleaseFrameBuffer(Ptr data) override;
    ComponentResult DeviceSetCompressionOnOff(Boolean on) override;

    static constexpr UInt64 kDeviceID = 0x0DEF0DEF0DEF0001;
    static constexpr UInt64 kInputID = 1;

private:
    device_t _device;
};
