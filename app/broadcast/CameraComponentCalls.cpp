#include "app/broadcast/CameraComponentCalls.h"

#include "channel/SharedCameraBundle.h"

namespace {

class BundleCalls final : public CameraComponentCalls {
public:
    bool InstallLocation(bool install, int location) override {
        return install ? Bundle().InstallLocation(true, location)
                       : Bundle().RemoveOwnLink(location);
    }
    bool IsComponentLoaded() const override { return Bundle().IsComponentLoaded(); }
    bool SetCameraControl(tagSHARED_CAMERA_CONTROL* control) override {
        return Bundle().SetCameraControl(control);
    }
    bool GetWriteableFrameBuffer_N(int n, tagSHARED_CAMERA_BUFFER* record) override {
        return Bundle().GetWriteableFrameBuffer_N(n, record);
    }
    bool SetCurrentReadBuffer(void* address) override {
        return Bundle().SetCurrentReadBuffer(address);
    }
    bool LockFrameBuffer(void* address) override { return Bundle().LockFrameBuffer(address); }
    bool TryLockFrameBuffer(void* address) override { return Bundle().TryLockFrameBuffer(address); }
    bool UnLockFrameBuffer(void* address) override { return Bundle().UnLockFrameBuffer(address); }

private:
    static SharedCameraBundle& Bundle() { return SharedCameraBundle::sComponent; }
};

} // namespace

CameraComponentCalls& ApplicationCameraComponent() {
    // Never destroyed: a lost X connection ends the program from an exit handler, which stops the
    // broadcast after function-local statics made later than that handler are gone.
    static BundleCalls* const calls = new BundleCalls;
    return *calls;
}
