#include "app/broadcast/NSUICamBroadcastControl.h"

#include "app/broadcast/NSUIPersistentPrefs.h"
#include "channel/CFBaseDLL.h"
#include "channel/SharedCameraFormat.h"
#include "channel/SharedCameraWriteBuffer.h"
#include "core/CoreVerify.h"
#include "platform/foundation/NSLog.h"

#include <cstring>
#include <unistd.h>

using namespace platform::coregraphics;

namespace {

using SHARED_CAMERA_BUFFER = tagSHARED_CAMERA_BUFFER;

struct CameraSize {
    int16_t width, height;
};
constexpr CameraSize kCameraSize{SharedCamera::kFrameWidth, SharedCamera::kFrameHeight};

// A report whose text is not the checked expression's spelling.
#define VERIFY_TEXT(ok, text) CoreVerifyCheck((ok), __func__, __FILE__, __LINE__, " code : " text)

bool IsCameraSized(const CoreGraphics::BitmapContext& bitmap) {
    return int(float(bitmap.GetImageWidth())) == NSUICamBroadcastControl_CameraWidth &&
           int(float(bitmap.GetImageHeight())) == NSUICamBroadcastControl_CameraHeight;
}

} // namespace

int NSUICamBroadcastControl_CameraWidth = kCameraSize.width;
int NSUICamBroadcastControl_CameraHeight = kCameraSize.height;

NSUICamBroadcastControl::NSUICamBroadcastControl(NSRect frame, CameraComponentCalls& component)
    : NSView(frame), mComponent(component) {
    addAction("broadcastButtonChanged:", &NSUICamBroadcastControl::broadcastButtonChanged);
    addAction("cameraConnectChanged:", &NSUICamBroadcastControl::cameraConnectChanged);
    addAction("retryBroadcast:", &NSUICamBroadcastControl::retryBroadcast);
}

NSUICamBroadcastControl::~NSUICamBroadcastControl() = default;

const char* const NSUICamBroadcastDidStartNotification = "NSUICamBroadcastDidStartNotification";

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

void NSUICamBroadcastControl::startBroadcasting() {
    if (!isBroadcastEnabled()) return;
    mPublishing = false;
    VERIFY_TEXT(mComponent.InstallLocation(true, CFBaseDLL::kUserQuickTime),
                "CAMERAX_InstallLocalLibraryQuickTime(SharedCameraBundle::Install)");
    // Opening loads the component and makes the shared memory.
    if (!mWriter.Open() || !setComponentAllowCameraConnections(areCameraConnectionAllowed())) {
        // The component has logged which file or lock it refused and why.
        mWriter.Close();
        mComponent.InstallLocation(false, CFBaseDLL::kUserQuickTime);
        return waitToBroadcast();
    }
    mPublishing = true;
    stopWaiting();
    startCompanion();
    if (_allowCameraButton) _allowCameraButton->setHidden(false);
    NSNotificationCenter::defaultCenter().postNotificationName(NSUICamBroadcastDidStartNotification,
                                                               this);
}

void NSUICamBroadcastControl::stopBroadcasting() {
    stopWaiting();
    mCompanion.terminate();
    // The buffers go with the component.
    mWriter.Close();
    if (isBroadcasting())
        VERIFY_TEXT(mComponent.InstallLocation(false, CFBaseDLL::kUserQuickTime),
                    "CAMERAX_InstallLocalLibraryQuickTime(SharedCameraBundle::UnInstall)");
    mPublishing = false;
    if (_allowCameraButton) _allowCameraButton->setHidden(true);
}

void NSUICamBroadcastControl::startCompanion() {
    if (mCompanionPath.empty() || mCompanion.isRunning()) return;
    std::string why;
    // Its own process: a stuck or crashing camera service never reaches the window.
    mCompanionDivisor = frameRateDivisor();
    if (!mCompanion.launch(mCompanionPath,
                           {"--parent-pid", std::to_string(::getpid()), "--factor",
                            std::to_string(mCompanionDivisor)},
                           why))
        platform::foundation::NSLog("The PipeWire camera does not start: %s", why.c_str());
}

// Consumers see the camera go and come back: only for a rate that really changed.
void NSUICamBroadcastControl::frameRateDivisorChanged() {
    if (!mCompanion.isRunning() || frameRateDivisor() == mCompanionDivisor) return;
    mCompanion.terminate();
    startCompanion();
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
    mWriter.Write([bitmap](int, const tagSHARED_CAMERA_BUFFER& camera_buffer) {
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
