#pragma once

#include "channel/SharedCameraRecords.h"
#include "pixels/CoreGraphicsBitmapContext.h"
#include "platform/coreimage/CoreImage.h"

#include <functional>
#include <memory>
#include <string>

// The plug-in's reader of the shared camera channel: each request fetches the current frame's
// description and turns the frame into an image as cheaply as it can: an ARGB frame is copied out
// while its buffer is locked (the host draws the image later, when the writer may be drawing the
// next frame into that buffer) and the image wraps the copy; 2vuy frames are converted.
class CILookpaneInput_VSharedCameraBuffer {
public:
    // Runs the class initialiser first, once per process.
    CILookpaneInput_VSharedCameraBuffer();
    ~CILookpaneInput_VSharedCameraBuffer();
    CILookpaneInput_VSharedCameraBuffer(const CILookpaneInput_VSharedCameraBuffer&) = delete;
    CILookpaneInput_VSharedCameraBuffer&
    operator=(const CILookpaneInput_VSharedCameraBuffer&) = delete;

    // Decides whether this host may take the channel's locks.
    static void initialize();

    // Fetches the current frame's description; nothing is locked.
    bool readCurrentCameraFrame();
    bool hasCurrentCameraFrame() const;
    // Says in the log why there is no frame (no component, no channel, connections switched
    // off...), once for each reason in turn; looks at most once a second.
    void explainMissingFrame();
    std::shared_ptr<platform::coreimage::CIImage> fastestCoreImage();

    std::shared_ptr<platform::coreimage::CIImage> coreVideoImageFrom_CameraBuffer();
    // Both give an image the caller releases.
    platform::coregraphics::CGImageRef quartzImageFrom_ARGB_CameraBuffer();
    platform::coregraphics::CGImageRef quartzImageFrom_2vuy_CameraBuffer();

    // Hosts that run without the channel's semaphores: their frames are read unlocked.
    static bool sRunningInSandboxWithNoSemaphores;

    const tagSHARED_CAMERA_BUFFER& Camera() const { return camera; }
    const CoreGraphics::BitmapContext* BitmapContext() const { return _bitmapContext.get(); }

private:
    void initInstance();
    std::shared_ptr<platform::coreimage::CIImage> lockedARGBImage();
    // Runs `read` with the current frame locked (unless this host goes without the locks).
    bool withFrameLocked(const std::function<void()>& read);
    // An image over the pixels `camera` points at. With `release`, the pixels are the caller's
    // unless `taken` comes back true: then the pixel buffer frees them with the image.
    std::shared_ptr<platform::coreimage::CIImage>
    coreVideoImageOver(platform::corevideo::CVPixelBufferReleaseBytesCallback release, bool* taken);

    std::unique_ptr<CoreGraphics::BitmapContext> _bitmapContext;
    tagSHARED_CAMERA_BUFFER camera{};
    platform::coregraphics::CGSize _frameSize{};
    std::string _explained;
    double _explainedAt = -1;
};
