#include "channel/SharedCameraBundle.h"

#include "core/CoreSystem.h"

#include <unistd.h>

SharedCameraBundle::ComponentName SharedCameraBundle::ApplicationComponent() {
    return CoreSystem::IsAtLeast(0x1060) ? kVistrelX64 : kVistrelXXX;
}

bool SharedCameraBundle::AlreadyInstalledSomewhere() const {
    for (int location : {CFBaseDLL::kUserQuickTime, CFBaseDLL::kSystemQuickTime}) {
        const CoreURL url = CFBaseDLL::URLOfNameInLocation(mFileName.c_str(), location);
        if (url && ::access(url->c_str(), R_OK) == 0) return true;
    }
    return false;
}

template <typename Function, typename... Args>
bool SharedCameraBundle::Call(EntryPoint entryPoint, Args... args) {
    if (!mLibrary.IsLoaded()) {
        mLibrary.SetSearchName(mFileName.c_str());
        if (!mLibrary.LoadQuickTimeComponentBundle(nullptr)) return false;
        for (size_t i = 0; i < std::size(kEntryPointNames); ++i)
            mEntryPoints[i] = mLibrary.FunctionPointerForName(kEntryPointNames[i]);
        mAwaitPublish = mLibrary.FunctionPointerForName(kSharedCameraAwaitPublish);
    }
    auto function = reinterpret_cast<Function>(mEntryPoints[entryPoint]);
    return function && function(args...);
}

bool SharedCameraBundle::SetCameraControl(tagSHARED_CAMERA_CONTROL* control) {
    return Call<SharedCameraControlFn>(kControl, control);
}

bool SharedCameraBundle::GetWriteableFrameBuffer_N(int n, tagSHARED_CAMERA_BUFFER* record) {
    return Call<SharedCameraBufferNFn>(kWriteBuffer, n, record);
}

bool SharedCameraBundle::SetCurrentReadBuffer(void* address) {
    return Call<SharedCameraAddressFn>(kSetCurrent, address);
}

bool SharedCameraBundle::GetCurrentReadBuffer(tagSHARED_CAMERA_BUFFER* record) {
    return Call<SharedCameraRecordFn>(kGetCurrent, record);
}

bool SharedCameraBundle::LockFrameBuffer(void* address) {
    return Call<SharedCameraAddressFn>(kLock, address);
}

bool SharedCameraBundle::TryLockFrameBuffer(void* address) {
    return Call<SharedCameraAddressFn>(kTryLock, address);
}

bool SharedCameraBundle::UnLockFrameBuffer(void* address) {
    return Call<SharedCameraAddressFn>(kUnLock, address);
}

bool SharedCameraBundle::AwaitPublish(double seconds) {
    if (!mLibrary.IsLoaded() || !mAwaitPublish) return false;
    const auto await = reinterpret_cast<SharedCameraAwaitPublishFn>(mAwaitPublish);
    await(nullptr, 1, int64_t(seconds * 1e9), nullptr, 0);
    return true;
}
