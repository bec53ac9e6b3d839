#include "app/broadcast/NSUICamBroadcastControl.h"

#include "app/broadcast/NSUIPersistentPrefs.h"
#include "channel/CFBaseDLL.h"
#include "channel/SharedCameraFormat.h"
#include "channel/SharedCameraWriteBuffer.h"
#include "core/CoreVerify.h"

#include <cstring>

using namespace platform::coregraphics;

namespace {

using SHARED_CAMERA_BUFFER = tagSHARED_CAMERA_BUFFER;

struct CameraSize {
    int16_t width, height;
};
constexpr CameraSize kCameraSize{SharedCamera::kFrameWidth, SharedCamera::kFrameHeight};

// A report whose text is not the checked expression's spelling.
#define VERIFY_TEXT(ok, text) CoreVerifyCheck((ok), __func__, __FILE__, __LINE__, " code : " text)

tagSHARED_CAMERA_BUFFER FreshRecord() {
    tagSHARED_CAMERA_BUFFER record{};
    record.sizeofSHARED_CAMERA_BUFFER = sizeof record;
    return record;
}

bool IsCameraSized(const CoreGraphics::BitmapContext& bitmap) {
    return int(float(bitmap.GetImageWidth())) == NSUICamBroadcastControl_CameraWidth &&
           int(float(bitmap.GetImageHeight())) == NSUICamBroadcastControl_CameraHeight;
}

} // namespace

int NSUICamBroadcastControl_CameraWidth = kCameraSize.width;
int NSUICamBroadcastControl_CameraHeight = kCameraSize.height;

CGContextRef CGContextRef_From_ARGB_CameraBuffer(const tagSHARED_CAMERA_BUFFER& camera_buffer) {
    if (!camera_buffer.frameBufferPtr) return nullptr;
    CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
    CGContextRef context = CGBitmapContextCreate(
        camera_buffer.frameBufferPtr, size_t(camera_buffer.frameWidth),
        size_t(camera_buffer.frameHeight), 8, size_t(camera_buffer.frameBufferRowBytes), space,
        kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrderDefault);
    CGColorSpaceRelease(space);
    // Screen images say not to interpolate; a stretched camera frame is filtered all the same.
    CGContextSetInterpolationQuality(context, kCGInterpolationHigh);
    return context;
}

NSUICamBroadcastControl::NSUICamBroadcastControl(NSRect frame, CameraComponentCalls& component)
    : NSView(frame), mComponent(component) {
    addAction("broadcastButtonChanged:", &NSUICamBroadcastControl::broadcastButtonChanged);
    addAction("toggleBroadcastButtonAction:",
              &NSUICamBroadcastControl::toggleBroadcastButtonAction);
    addAction("cameraConnectChanged:", &NSUICamBroadcastControl::cameraConnectChanged);
    addAction("retryBroadcast:", &NSUICamBroadcastControl::retryBroadcast);
}

NSUICamBroadcastControl::~NSUICamBroadcastControl() = default;

bool NSUICamBroadcastControl::isBroadcasting() const {
    return mPublishing && mComponent.IsComponentLoaded();
}

bool NSUICamBroadcastControl::isBroadcastEnabled() const {
    return _rebroadcastButton && _rebroadcastButton->state() != 0;
}

bool NSUICamBroadcastControl::areCameraConnectionAllowed() const {
    return _allowCameraButton && _allowCameraButton->state() != 0;
}

void NSUICamBroadcastControl::broadcastButtonChanged(NSObject*) {
    const bool enabled = isBroadcastEnabled(), on = isBroadcasting();
    if (enabled && !on)
        startBroadcasting();
    else if (!enabled && on)
        stopBroadcasting();
}

void NSUICamBroadcastControl::setBroadcastEnabled(bool flag) {
    if (!flag) stopWaiting();
    if (_rebroadcastButton) _rebroadcastButton->setState(flag ? NSOnState : NSOffState);
    broadcastButtonChanged(this);
}

// While waiting, the box is off but the broadcast is wanted: the toggle stops the waiting.
void NSUICamBroadcastControl::toggleBroadcastButtonAction(NSObject*) {
    if (!_rebroadcastButton) return;
    const bool on = _rebroadcastButton->state() == NSOnState || isWaitingToBroadcast();
    _rebroadcastButton->setState(on ? NSOffState : NSOnState);
    if (on) stopWaiting();
    broadcastButtonChanged(_rebroadcastButton);
}

void NSUICamBroadcastControl::startBroadcasting() {
    _SharedCameraBufferNumber = 0;
    if (!isBroadcastEnabled()) return;
    mPublishing = false;
    VERIFY_TEXT(mComponent.InstallLocation(true, CFBaseDLL::kUserQuickTime),
                "CAMERAX_InstallLocalLibraryQuickTime(SharedCameraBundle::Install)");
    // The first request loads the component and makes the shared memory.
    bool reached = true;
    for (int n : {0, 1}) {
        tagSHARED_CAMERA_BUFFER record = FreshRecord();
        reached = mComponent.GetWriteableFrameBuffer_N(n, &record) && reached;
    }
    if (!reached || !setComponentAllowCameraConnections(areCameraConnectionAllowed())) {
        // The component has logged which file or lock it refused and why.
        mComponent.InstallLocation(false, CFBaseDLL::kUserQuickTime);
        return waitToBroadcast();
    }
    mPublishing = true;
    stopWaiting();
    if (_allowCameraButton) _allowCameraButton->setHidden(false);
}

void NSUICamBroadcastControl::stopBroadcasting() {
    stopWaiting();
    if (isBroadcasting())
        VERIFY_TEXT(mComponent.InstallLocation(false, CFBaseDLL::kUserQuickTime),
                    "CAMERAX_InstallLocalLibraryQuickTime(SharedCameraBundle::UnInstall)");
    mPublishing = false;
    if (_allowCameraButton) _allowCameraButton->setHidden(true);
}

void NSUICamBroadcastControl::waitToBroadcast() {
    if (_rebroadcastButton) _rebroadcastButton->setState(NSOffState);
    if (_allowCameraButton) _allowCameraButton->setHidden(true);
    if (_statusText) {
        _statusText->setStringValue("Cannot open the camera channel (see the log): retrying");
        _statusText->setHidden(false);
    }
    if (!mRetryTimer)
        mRetryTimer = NSTimer::scheduledTimerWithTimeInterval(
            kRetrySeconds, this, NSSelectorFromString("retryBroadcast:"), true);
}

void NSUICamBroadcastControl::stopWaiting() {
    if (mRetryTimer) mRetryTimer->invalidate();
    mRetryTimer.reset();
    if (_statusText) _statusText->setHidden(true);
}

void NSUICamBroadcastControl::retryBroadcast(NSObject*) {
    if (!isWaitingToBroadcast()) return;
    if (_rebroadcastButton) _rebroadcastButton->setState(NSOnState);
    startBroadcasting();
}

bool NSUICamBroadcastControl::setComponentAllowCameraConnections(bool flag) {
    tagSHARED_CAMERA_CONTROL control{};
    control.sizeofSHARED_CAMERA_CONTROL = sizeof control;
    control.allowCameraConnections = flag ? 1 : 0;
    return mComponent.SetCameraControl(&control);
}

void NSUICamBroadcastControl::cameraConnectChanged(NSObject*) {
    if (isBroadcasting()) setComponentAllowCameraConnections(areCameraConnectionAllowed());
}

void NSUICamBroadcastControl::applicationDidFinishLaunching(NSObject*) {
    if (_allowCameraButton)
        _allowCameraButton->setState(NSUserDefaultLoadKind("_allowCameraButton", 1));
    if (_rebroadcastButton)
        _rebroadcastButton->setState(NSUserDefaultLoadKind("_rebroadcastButton", 0));
    startBroadcasting();
}

void NSUICamBroadcastControl::applicationWillTerminate(NSObject*) {
    if (_allowCameraButton) NSUserDefaultSave(_allowCameraButton->state(), "_allowCameraButton");
    // A broadcast still waiting to start is wanted all the same.
    if (_rebroadcastButton)
        NSUserDefaultSave(isWaitingToBroadcast() ? NSOnState : _rebroadcastButton->state(),
                          "_rebroadcastButton");
    setBroadcastEnabled(false);
}

void NSUICamBroadcastControl::broadcastFrame(CoreGraphics::BitmapContext* bitmap) {
    if (!bitmap || !isBroadcasting()) return;
    if (IsCameraSized(*bitmap))
        broadcastFrame_WWWWxHHH(bitmap);
    else
        broadcastFrame_XXXxYYY(bitmap);
}

void NSUICamBroadcastControl::broadcastFrame_XXXxYYY(CoreGraphics::BitmapContext* bitmap) {
    if (!bitmap || !bitmap->IsConstructed()) return;
    if (!mStaging.IsConstructed()) {
        if (!mStaging.Construct(NSUICamBroadcastControl_CameraWidth,
                                NSUICamBroadcastControl_CameraHeight,
                                CoreGraphics::BitmapContext::BitmapType_Device_ARGB)) {
            mStaging.Destruct();
            return;
        }
        CGContextSetInterpolationQuality(mStaging.GetContext(), kCGInterpolationHigh);
    }
    bitmap->Draw(mStaging.GetContext(), CGRectMake(0, 0, NSUICamBroadcastControl_CameraWidth,
                                                   NSUICamBroadcastControl_CameraHeight));
    broadcastFrame_WWWWxHHH(&mStaging);
}

void NSUICamBroadcastControl::broadcastFrame_WWWWxHHH(CoreGraphics::BitmapContext* bitmap) {
    if (!bitmap || bitmap->GetImageHeight() < 1 || !bitmap->GetImageDataBytes() ||
        bitmap->GetImageRowBytes() == 0 || !IsCameraSized(*bitmap))
        return;
    publishFrame([bitmap](const tagSHARED_CAMERA_BUFFER& camera_buffer) {
        // clang-format off
        VERIFY(camera_buffer.sizeofSHARED_CAMERA_BUFFER == sizeof(SHARED_CAMERA_BUFFER));
        // clang-format on
        const size_t rowBytes = size_t(camera_buffer.frameBufferRowBytes);
        if (rowBytes > bitmap->GetImageRowBytes()) return;
        auto* destination = static_cast<uint8_t*>(camera_buffer.frameBufferPtr);
        for (int y = 0; y < camera_buffer.frameHeight && unsigned(y) < bitmap->GetImageHeight();
             ++y)
            std::memcpy(destination + size_t(y) * rowBytes,
                        bitmap->GetImageDataBytes() + size_t(y) * bitmap->GetImageRowBytes(),
                        rowBytes);
    });
}

bool NSUICamBroadcastControl::publishFrame(
    const std::function<void(const tagSHARED_CAMERA_BUFFER&)>& draw) {
    tagSHARED_CAMERA_BUFFER buffers[2] = {FreshRecord(), FreshRecord()};
    for (const int n : {0, 1})
        if (!mComponent.GetWriteableFrameBuffer_N(n, &buffers[n])) return false;
    const int n = lockWriteBuffer(&buffers[0], &buffers[1]);
    if (n < 0) return false;
    draw(buffers[n]);
    if (!unlock_SHARED_CAMERA_BUFFER(&buffers[n])) return false;
    mComponent.SetCurrentReadBuffer(buffers[n].frameBufferPtr);
    _SharedCameraBufferNumber = n ^ 1;
    return true;
}

int NSUICamBroadcastControl::lockWriteBuffer(tagSHARED_CAMERA_BUFFER* buffer0,
                                             tagSHARED_CAMERA_BUFFER* buffer1) {
    tagSHARED_CAMERA_BUFFER* const buffers[2] = {buffer0, buffer1};
    return SharedCamera::LockWriteBuffer(
        _SharedCameraBufferNumber,
        [&](int b) {
            return buffers[b] && mComponent.TryLockFrameBuffer(buffers[b]->frameBufferPtr);
        },
        [&](int b) { return buffers[b] && lock_SHARED_CAMERA_BUFFER(buffers[b]); });
}

bool NSUICamBroadcastControl::get_SHARED_CAMERA_BUFFER(tagSHARED_CAMERA_BUFFER* camera_buffer) {
    camera_buffer->sizeofSHARED_CAMERA_BUFFER = sizeof *camera_buffer;
    return mComponent.GetWriteableFrameBuffer_N(_SharedCameraBufferNumber, camera_buffer);
}

bool NSUICamBroadcastControl::get_SINGLE_CAMERA_BUFFER(tagSHARED_CAMERA_BUFFER* camera_buffer) {
    return get_SHARED_CAMERA_BUFFER(camera_buffer);
}

void NSUICamBroadcastControl::set_SHARED_CAMERA_BUFFER(tagSHARED_CAMERA_BUFFER* camera_buffer) {
    mComponent.SetCurrentReadBuffer(camera_buffer->frameBufferPtr);
    _SharedCameraBufferNumber ^= 1;
}

void NSUICamBroadcastControl::set_SINGLE_CAMERA_BUFFER(tagSHARED_CAMERA_BUFFER* camera_buffer) {
    mComponent.SetCurrentReadBuffer(camera_buffer->frameBufferPtr);
    _SharedCameraBufferNumber = 0;
}

bool NSUICamBroadcastControl::use_SHARED_CAMERA_BUFFER(int n) {
    tagSHARED_CAMERA_BUFFER camera_buffer = FreshRecord();
    if (!mComponent.GetWriteableFrameBuffer_N(n, &camera_buffer)) return false;
    mComponent.SetCurrentReadBuffer(camera_buffer.frameBufferPtr);
    return true;
}

bool NSUICamBroadcastControl::lock_SHARED_CAMERA_BUFFER(tagSHARED_CAMERA_BUFFER* camera_buffer) {
    return mComponent.LockFrameBuffer(camera_buffer->frameBufferPtr);
}

bool NSUICamBroadcastControl::unlock_SHARED_CAMERA_BUFFER(tagSHARED_CAMERA_BUFFER* camera_buffer) {
    return mComponent.UnLockFrameBuffer(camera_buffer->frameBufferPtr);
}

CGContextRef NSUICamBroadcastControl::createBroadcastGraphicsContext_buffer_number(
    tagSHARED_CAMERA_BUFFER* camera_buffer, int n) {
    camera_buffer->sizeofSHARED_CAMERA_BUFFER = sizeof *camera_buffer;
    if (!mComponent.GetWriteableFrameBuffer_N(n, camera_buffer)) return nullptr;
    return contextWithCameraBuffer(camera_buffer);
}

void NSUICamBroadcastControl::setCurrentBroadcastGraphicsContext(
    tagSHARED_CAMERA_BUFFER* camera_buffer) {
    if (camera_buffer->frameBufferPtr)
        mComponent.SetCurrentReadBuffer(camera_buffer->frameBufferPtr);
    _SharedCameraBufferNumber ^= 1;
}

void NSUICamBroadcastControl::releaseBroadcastGraphicsContext_context(
    tagSHARED_CAMERA_BUFFER* camera_buffer, CGContextRef context) {
    CGContextRelease(context);
    setCurrentBroadcastGraphicsContext(camera_buffer);
}

CGContextRef
NSUICamBroadcastControl::contextWithCameraBuffer(const tagSHARED_CAMERA_BUFFER* camera_buffer) {
    return camera_buffer ? CGContextRef_From_ARGB_CameraBuffer(*camera_buffer) : nullptr;
}
