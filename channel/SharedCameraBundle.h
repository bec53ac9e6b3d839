#pragma once

#include "channel/CoreResourceBundle.h"
#include "channel/SharedCameraWait.h"
#include "channel/SharedCameraWriteCalls.h"

#include <iterator>

// The client's binding to a camera component: finds it in the component folders, loads it on the
// first call and calls its entry points, looked up by name once per load. A wrapper answers false
// when the component or the entry point cannot be reached.
class SharedCameraBundle : public CoreResourceBundle, public SharedCameraWriteCalls {
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
    bool GetWriteableFrameBuffer_N(int n, tagSHARED_CAMERA_BUFFER* record) override;
    bool SetCurrentReadBuffer(void* address) override;
    // The reader's wrapper.
    bool GetCurrentReadBuffer(tagSHARED_CAMERA_BUFFER* record);
    // Both sides lock and unlock.
    bool LockFrameBuffer(void* address) override;
    // Locks only a buffer that nobody holds; never waits.
    bool TryLockFrameBuffer(void* address) override;
    bool UnLockFrameBuffer(void* address) override;

    // Waits at most `seconds` for the writer's next frame (SharedCameraWait.h, `shown` null);
    // false at once when the component has no such wait or cannot be loaded.
    bool AwaitPublish(double seconds);

    bool IsComponentLoaded() const { return mLibrary.IsLoaded(); }

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
    enum EntryPoint { kControl, kWriteBuffer, kSetCurrent, kGetCurrent, kTryLock, kLock, kUnLock };
    static constexpr const char* kEntryPointNames[] = {
        kCameraComponentFunction,  kCameraComponentFunction0, kCameraComponentFunction1,
        kCameraComponentFunction2, kCameraComponentFunction3, kCameraComponentFunction4,
        kCameraComponentFunction5};
    template <typename Function, typename... Args> bool Call(EntryPoint entryPoint, Args... args);

    // Filled when this binding loads the component, the only way it gets loaded.
    void* mEntryPoints[std::size(kEntryPointNames)] = {};
    void* mAwaitPublish = nullptr;
};
