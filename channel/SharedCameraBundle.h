#pragma once

#include "channel/CoreResourceBundle.h"
#include "channel/SharedCameraRecords.h"

#include <functional>

// The client's binding to a camera component: finds it in the component folders, loads it on the
// first call and calls its entry points, looked up by name on every call. A wrapper answers false
// when the component or the entry point cannot be reached.
class SharedCameraBundle : public CoreResourceBundle {
public:
    struct ComponentName {
        const char* fileName;
        const char* baseName;
    };

    explicit SharedCameraBundle(ComponentName name)
        : CoreResourceBundle(name.fileName, name.baseName) {}

    // Installed as a link or a copy in the user's or the system's component folder.
    bool AlreadyInstalledSomewhere() const override;

    // The writer's wrappers.
    bool SetCameraControl(tagSHARED_CAMERA_CONTROL* control);
    bool GetWriteableFrameBuffer_N(int n, tagSHARED_CAMERA_BUFFER* record);
    bool SetCurrentReadBuffer(void* address);
    // The reader's wrapper.
    bool GetCurrentReadBuffer(tagSHARED_CAMERA_BUFFER* record);
    // Both sides lock and unlock.
    bool LockFrameBuffer(void* address);
    // Locks only a buffer that nobody holds; never waits.
    bool TryLockFrameBuffer(void* address);
    bool UnLockFrameBuffer(void* address);

    bool IsComponentLoaded() const { return mLibrary.IsLoaded(); }

    // The writer's frame: the buffer SharedCamera::LockWriteBuffer chooses from n is locked,
    // drawn into, unlocked and made current, and n becomes the buffer after the one written.
    // Skipped when readers hold both buffers.
    enum class FrameResult { kWritten, kSkipped, kFailed };
    FrameResult PublishFrame(int& n,
                             const std::function<void(const tagSHARED_CAMERA_BUFFER&)>& draw);

    static constexpr const char* kCameraComponentFunction = "__public_fn_";
    static constexpr const char* kCameraComponentFunction0 = "__public_fn0";
    static constexpr const char* kCameraComponentFunction1 = "__public_fn1";
    static constexpr const char* kCameraComponentFunction2 = "__public_fn2";
    static constexpr const char* kCameraComponentFunction3 = "__public_fn3";
    static constexpr const char* kCameraComponentFunction4 = "__public_fn4";
    static constexpr const char* kCameraComponentFunction5 = "__public_fn5";

    static constexpr ComponentName kVistrelXXX{"VistrelXXX.component", "VistrelXXX"};
    static constexpr ComponentName kVistrelX64{"VistrelX64.component", "VistrelX64"};
    static constexpr ComponentName kLookpaneXXX{"LookpaneXXX.component", "LookpaneXXX"};
    // The writer's component: VistrelX64 from system version 0x1060 on, VistrelXXX before.
    static ComponentName ApplicationComponent();

    // Each client defines its own, with its component's names.
    static SharedCameraBundle sComponent;

private:
    template <typename Function, typename... Args> bool Call(const char* entryPoint, Args... args);
};
