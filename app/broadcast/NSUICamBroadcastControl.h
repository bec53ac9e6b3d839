#pragma once

// The broadcast control: the view in the broadcast panel that owns "broadcasting". Starting
// installs and loads the camera component, opens the frame writer over both frame buffers and
// passes on whether connections are allowed; stopping closes the writer and removes the
// component. Its frames go through the writer, which alternates the buffers.
#include "app/broadcast/CameraComponentCalls.h"
#include "channel/SharedCameraDrawingWriter.h"
#include "pixels/CoreGraphicsBitmapContext.h"
#include "platform/appkit/AppKit.h"
#include "platform/foundation/NSTask.h"

#include <memory>
#include <string>

using namespace platform::appkit;

// The camera frame's size, set at program start.
extern int NSUICamBroadcastControl_CameraWidth;
extern int NSUICamBroadcastControl_CameraHeight;

// Posted by the control when a broadcast has started: the grab timer, stopped while nothing is
// broadcast, starts again.
extern const char* const NSUICamBroadcastDidStartNotification;

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
    void cameraConnectChanged(NSObject* sender);
    bool setComponentAllowCameraConnections(bool flag);
    virtual void startBroadcasting();
    virtual void stopBroadcasting();

    // A bitmap of any size, while broadcasting: 640 x 480 is copied, others are stretched.
    void broadcastFrame(CoreGraphics::BitmapContext* bitmap);
    void broadcastFrame_WWWWxHHH(CoreGraphics::BitmapContext* bitmap);
    void broadcastFrame_XXXxYYY(CoreGraphics::BitmapContext* bitmap);
    // A program started with each broadcast and ended with it (the PipeWire camera node), told
    // this process's id so that it never outlives it, and the broadcast's rate as the divisor
    // of 30 frames a second; none when empty.
    void setCompanionProgram(std::string path) { mCompanionPath = std::move(path); }
    virtual int frameRateDivisor() const { return 1; }
    // Starts the program again when it runs at another rate.
    void frameRateDivisorChanged();
    // Open while broadcasting; every way a frame goes out.
    SharedCameraDrawingWriter& frameWriter() { return mWriter; }

    // Older calls (NSUICamBroadcastControlCompat.cpp): get locks the write buffer and fills the
    // record, set publishes it.
    bool get_SHARED_CAMERA_BUFFER(tagSHARED_CAMERA_BUFFER* camera_buffer);
    void set_SHARED_CAMERA_BUFFER(tagSHARED_CAMERA_BUFFER* camera_buffer);

    // Outlets.
    NSButton* _allowCameraButton = nullptr;
    NSButton* _rebroadcastButton = nullptr;
    NSTextField* _statusText = nullptr;

protected:
    CameraComponentCalls& mComponent;

private:
    void waitToBroadcast();
    void stopWaiting();
    void startCompanion();

    bool mPublishing = false;
    std::unique_ptr<NSTimer> mRetryTimer;
    SharedCameraDrawingWriter mWriter{mComponent};
    std::string mCompanionPath;
    platform::foundation::NSTask mCompanion;
    int mCompanionDivisor = 0;
    // Made on the first stretched frame and kept: frames allocate nothing.
    CoreGraphics::BitmapContext mStaging;
};
