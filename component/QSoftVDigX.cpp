#include "component/QSoftVDigX.h"

#include "core/CoreVerify.h"

namespace {
constexpr const char* kDeviceNameSuffix = " (ARGB)";
} // namespace

ComponentResult QSoftVDigX::GetUniqueIDs(UInt64* outDeviceID, UInt64* outInputID) {
    if (outDeviceID) *outDeviceID = kDeviceID;
    if (outInputID) *outInputID = kInputID;
    return noErr;
}

// There is one device with one input: any choice is this one.
ComponentResult QSoftVDigX::SelectUniqueIDs(const UInt64*, const UInt64*) {
    return noErr;
}

ComponentResult QSoftVDigX::SetFrameRate(Fixed inFramesPerSecond) {
    return QVDigDeviceBase::SetFrameRate(inFramesPerSecond);
}

bool QSoftVDigX::DeviceConnect() {
    // clang-format off
    if (!VERIFY(_device.Connect())) return false;
    // clang-format on
    _device.SetDeviceNameSuffix(kDeviceNameSuffix);
    return true;
}

void QSoftVDigX::DeviceDisconnect() {
    _device.Disconnect();
}

ComponentResult QSoftVDigX::DeviceCreateImageDescription() {
    ComponentResult result = noErr;
    _devicePixelFormat = FourCC("raw ");
    // A description that cannot be built shows later, as the calls that need it fail.
    // clang-format off
    VERIFY_ERR(result = CreateImageDescription(device_t::kFrameWidthPixels,device_t::kFrameHeightPixels, _devicePixelFormat));
    // clang-format on
    return noErr;
}

void QSoftVDigX::DeviceGetMaxSrcRect(Rect* rect) {
    _device.GetMaxSrcRectFromDevice(rect);
}

ComponentResult QSoftVDigX::DeviceGetFrame(UInt8* queuedFrameCount, Ptr* data, long* dataSize) {
    return _device.GetFrame(queuedFrameCount, data, dataSize);
}

ComponentResult QSoftVDigX::DeviceGetName(Str255 name) {
    return _device.GetDeviceName(name);
}

ComponentResult QSoftVDigX::DeviceReleaseFrameBuffer(Ptr data) {
    return _device.ReleaseCompressBuffer(data);
}

ComponentResult QSoftVDigX::DeviceSetCompressionOnOff(Boolean on) {
    return _device.SetCompressionOnOff(on);
}
