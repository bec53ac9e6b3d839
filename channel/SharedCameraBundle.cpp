#include "channel/SharedCameraBundle.h"

#include "channel/SharedCameraWriteBuffer.h"
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
bool SharedCameraBundle::Call(const char* entryPoint, Args... args) {
    if (!mLibrary.IsLoaded()) {
        mLibrary.SetSearchName(mFileName.c_str());
        mLibrary.LoadQuickTimeComponentBundle(nullptr);
    }
    if (!mLibrary.IsLoaded()) return false;
    auto function = reinterpret_cast<Function>(mLibrary.FunctionPointerForName(entryPoint));
    return function && function(args...);
}

bool SharedCameraBundle::SetCameraControl(tagSHARED_CAMERA_CONTROL* control) {
    return Call<SharedCameraControlFn>(kCameraComponentFunction, control);
}

bool SharedCameraBundle::GetWriteableFrameBuffer_N(int n, tagSHARED_CAMERA_BUFFER* record) {
    return Call<SharedCameraBufferNFn>(kCameraComponentFunction0, n, record);
}

bool SharedCameraBundle::SetCurrentReadBuffer(void* address) {
    return Call<SharedCameraAddressFn>(kCameraComponentFunction1, address);
}

bool SharedCameraBundle::GetCurrentReadBuffer(tagSHARED_CAMERA_BUFFER* record) {
    return Call<SharedCameraRecordFn>(kCameraComponentFunction2, record);
}

bool SharedCameraBundle::LockFrameBuffer(void* address) {
    return Call<SharedCameraAddressFn>(kCameraComponentFunction4, address);
}

bool SharedCameraBundle::TryLockFrameBuffer(void* address) {
    return Call<SharedCameraAddressFn>(kCameraComponentFunction3, address);
}

bool SharedCameraBundle::UnLockFrameBuffer(void* address) {
    return Call<SharedCameraAddressFn>(kCameraComponentFunction5, address);
}

SharedCameraBundle::FrameResult
SharedCameraBundle::PublishFrame(int& n,
                                 const std::function<void(const tagSHARED_CAMERA_BUFFER&)>& draw) {
    tagSHARED_CAMERA_BUFFER records[2] = {};
    for (const int b : {0, 1}) {
        records[b].sizeofSHARED_CAMERA_BUFFER = sizeof records[b];
        if (!GetWriteableFrameBuffer_N(b, &records[b])) return FrameResult::kFailed;
    }
    const int index = SharedCamera::LockWriteBuffer(
        n, [&](int b) { return TryLockFrameBuffer(records[b].frameBufferPtr); },
        [&](int b) { return LockFrameBuffer(records[b].frameBufferPtr); });
    if (index < 0) return FrameResult::kSkipped;
    draw(records[index]);
    if (!UnLockFrameBuffer(records[index].frameBufferPtr) ||
        !SetCurrentReadBuffer(records[index].frameBufferPtr))
        return FrameResult::kFailed;
    n = index ^ 1;
    return FrameResult::kWritten;
}
