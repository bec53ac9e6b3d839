#pragma once

// The broadcast control: the view in the broadcast panel that owns "broadcasting". Starting
// installs and loads the camera component, requests both frame buffers and passes on whether
// connections are allowed; stopping removes the component. Its frame operations put 640 x 480
// pictures into the write buffer and publish them; the index of the next buffer to write
// alternates 0, 1, 0 over published frames.
//
// The writer runs on the main thread, so it never waits for a frame lock longer than about one
// frame interval: while a reader holds the write buffer, the frame goes into the other buffer,
// and a frame is dropped (index unchanged) only when both are held or the component fails.
#include "app/broadcast/CameraComponentCalls.h"
#include "pixels/CoreGraphicsBitmapContext.h"
#include "platform/appkit/AppKit.h"

#include <functional>
#include <memory>

using namespace platform::appkit;

// The camera frame's size, set at program start.
extern int NSUICamBroadcastControl_CameraWidth;
extern int NSUICamBroadcastControl_CameraHeight;

// A bitmap context over the record's pixels (A, R, G, B bytes, premultiplied, origin at the
// bottom-left) that filters what it scales; null without pixels. The caller releases it.
platform::coregraphics::CGContextRef
CGContextRef_From_ARGB_CameraBuffer(const tagSHARED_CAMERA_BUFFER& camera_buffer);

class NSUICamBroadcastControl : public NSView {
public:
    explicit NSUICamBroadcastControl(
        NSRect frame, CameraComponentCalls& component = ApplicationCameraComponent());
    ~NSUICamBroadcastControl() override;

    virtual void applicationDidFinishLaunching(NSObject* notification);
    virtual void applicationWillTerminate(NSObject* notification);

    // The component is loaded in this process and the start reached the channel.
    bool isBroadcasting() const;
    // A wanted broadcast could not start: the box shows it off, the status line says so and the
    // start is tried again every kRetrySeconds until it succeeds or the broadcast is stopped.
    bool isWaitingToBroadcast() const { return mRetryTimer != nullptr; }
    void retryBroadcast(NSObject* timer);
    static constexpr double kRetrySeconds = 3;
    bool isBroadcastEnabled() const;
    bool areCameraConnectionAllowed() const;
    void setBroadcastEnabled(bool flag);
    void broadcastButtonChanged(NSObject* sender);
    void toggleBroadcastButtonAction(NSObject* sender);
    void cameraConnectChanged(NSObject* sender);
    bool setComponentAllowCameraConnections(bool flag);
    virtual void startBroadcasting();
    virtual void stopBroadcasting();

    // A bitmap of any size, while broadcasting: 640 x 480 is copied, others are stretched.
    void broadcastFrame(CoreGraphics::BitmapContext* bitmap);
    void broadcastFrame_WWWWxHHH(CoreGraphics::BitmapContext* bitmap);
    void broadcastFrame_XXXxYYY(CoreGraphics::BitmapContext* bitmap);
    // Locks a write buffer (the one at the index, else the other), hands it to draw, unlocks,
    // publishes it and moves the index past it; false when no frame went out.
    bool publishFrame(const std::function<void(const tagSHARED_CAMERA_BUFFER&)>& draw);
    // Locks the buffer SharedCamera::LockWriteBuffer chooses from the index: its number, -1 for
    // none; a null record is skipped.
    int lockWriteBuffer(tagSHARED_CAMERA_BUFFER* buffer0, tagSHARED_CAMERA_BUFFER* buffer1);

    bool get_SHARED_CAMERA_BUFFER(tagSHARED_CAMERA_BUFFER* camera_buffer);
    bool get_SINGLE_CAMERA_BUFFER(tagSHARED_CAMERA_BUFFER* camera_buffer);
    void set_SHARED_CAMERA_BUFFER(tagSHARED_CAMERA_BUFFER* camera_buffer);
    void set_SINGLE_CAMERA_BUFFER(tagSHARED_CAMERA_BUFFER* camera_buffer);
    bool use_SHARED_CAMERA_BUFFER(int n);
    bool lock_SHARED_CAMERA_BUFFER(tagSHARED_CAMERA_BUFFER* camera_buffer);
    bool unlock_SHARED_CAMERA_BUFFER(tagSHARED_CAMERA_BUFFER* camera_buffer);
    platform::coregraphics::CGContextRef
    createBroadcastGraphicsContext_buffer_number(tagSHARED_CAMERA_BUFFER* camera_buffer, int n);
    void setCurrentBroadcastGraphicsContext(tagSHARED_CAMERA_BUFFER* camera_buffer);
    void releaseBroadcastGraphicsContext_context(tagSHARED_CAMERA_BUFFER* camera_buffer,
                                                 platform::coregraphics::CGContextRef context);
    static platform::coregraphics::CGContextRef
    contextWithCameraBuffer(const tagSHARED_CAMERA_BUFFER* camera_buffer);

    // Outlets.
    NSButton* _allowCameraButton = nullptr;
    NSButton* _rebroadcastButton = nullptr;
    NSTextField* _statusText = nullptr;
    int _SharedCameraBufferNumber = 0;

protected:
    CameraComponentCalls& mComponent;

private:
    void waitToBroadcast();
    void stopWaiting();

    bool mPublishing = false;
    std::unique_ptr<NSTimer> mRetryTimer;
    // Made on the first stretched frame and kept: frames allocate nothing.
    CoreGraphics::BitmapContext mStaging;
};
