#include "plugin/CILookpaneInput_VSharedCameraBuffer.h"

#include "channel/ChannelDiagnosis.h"
#include "channel/SharedCameraBundle.h"
#include "channel/SharedCameraFormat.h"
#include "core/CoreLogIdentity.h"
#include "core/CoreVerify.h"
#include "pixels/Q_2vuy_format.h"
#include "platform/PlatformTypes.h"
#include "platform/foundation/NSLog.h"
#include "platform/session/PlatformSession.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>

using namespace platform::coregraphics;
using namespace platform::coreimage;
using namespace platform::corevideo;
using namespace platform::foundation;
using namespace platform::session;

bool CILookpaneInput_VSharedCameraBuffer::sRunningInSandboxWithNoSemaphores = false;

namespace {

constexpr uint32_t kFrameFormatARGB = platform::FourCC("raw ");
constexpr uint32_t kFrameFormat2vuy = platform::FourCC("2vuy");

// Hosts that may not use the channel's semaphores; they are served without the lock.
constexpr const char* kHostsWithoutSemaphores[] = {"com.apple.QTKitServer",
                                                   "com.apple.QuickLookDaemon", "com.apple.finder"};

// The record comes from a component we do not build: its geometry must fit the memory it
// claims before any of that memory is read.
bool GeometryFits(const tagSHARED_CAMERA_BUFFER& record) {
    const long bytesPerPixel = record.framePixelFormat == kFrameFormat2vuy ? 2 : 4;
    return record.frameWidth > 0 && record.frameHeight > 0 &&
           record.frameBufferRowBytes >= record.frameWidth * bytesPerPixel &&
           long(record.frameBufferRowBytes) * record.frameHeight <= record.frameBufferSizeBytes;
}

void FreeCopy(void*, const void* data, size_t) {
    std::free(const_cast<void*>(data));
}

void FreeCopyOfPixels(void*, const void* pixels) {
    std::free(const_cast<void*>(pixels));
}

// The filter runs inside other programs (ffmpeg through the frei0r source), whose standard error
// is their user's: its notes about itself go there only when asked for.
bool DebugLines() {
    static const bool on = [] {
        const char* value = std::getenv("VISTREL_FREI0R_DEBUG");
        return value && *value && std::strcmp(value, "0") != 0;
    }();
    return on;
}

} // namespace

CILookpaneInput_VSharedCameraBuffer::CILookpaneInput_VSharedCameraBuffer() {
    static std::once_flag sInitialized;
    std::call_once(sInitialized, initialize);
    initInstance();
}

CILookpaneInput_VSharedCameraBuffer::~CILookpaneInput_VSharedCameraBuffer() = default;

void CILookpaneInput_VSharedCameraBuffer::initialize() {
    sRunningInSandboxWithNoSemaphores = false;
    SecCodeRef selfCodeRef = nullptr;
    // clang-format off
    if (VERIFY_ERR(SecCodeCopySelf(kSecCSDefaultFlags, &selfCodeRef)) != errSecSuccess) return;
    SecCodeSigningInformation* codeSigningInfo = nullptr;
    if (VERIFY_ERR(SecCodeCopySigningInformation(selfCodeRef,kSecCSSigningInformation, &codeSigningInfo)) != errSecSuccess) {
        // clang-format on
        SecCodeRelease(selfCodeRef);
        return;
    }
    if (codeSigningInfo->identifier) {
        const std::string& identifier = *codeSigningInfo->identifier;
        if (DebugLines())
            NSLog("%s %s %s\n", "__LP64__", CoreLogIdentity::kPlugInPrefix, identifier.c_str());
        for (const char* host : kHostsWithoutSemaphores)
            if (identifier == host) sRunningInSandboxWithNoSemaphores = true;
    }
    delete codeSigningInfo;
    SecCodeRelease(selfCodeRef);
}

void CILookpaneInput_VSharedCameraBuffer::initInstance() {
    _frameSize = CGSize{SharedCamera::kFrameWidth, SharedCamera::kFrameHeight};
    if (readCurrentCameraFrame()) {
        _frameSize = CGSize{CGFloat(camera.frameWidth), CGFloat(camera.frameHeight)};
        if (DebugLines())
            NSLog("__LP64__ %s (%d,%d) rowBytes:%d\n", CoreLogIdentity::kPlugInPrefix,
                  camera.frameWidth, camera.frameHeight, camera.frameBufferRowBytes);
    }
    _bitmapContext = std::make_unique<CoreGraphics::BitmapContext>();
    _bitmapContext->Construct(int(_frameSize.width), int(_frameSize.height),
                              CoreGraphics::BitmapContext::BitmapType_Device_ARGB);
}

bool CILookpaneInput_VSharedCameraBuffer::readCurrentCameraFrame() {
    std::memset(&camera, 0, sizeof camera);
    camera.sizeofSHARED_CAMERA_BUFFER = sizeof camera;
    return SharedCameraBundle::sComponent.GetCurrentReadBuffer(&camera) &&
           camera.frameBufferPtr != nullptr;
}

void CILookpaneInput_VSharedCameraBuffer::explainMissingFrame() {
    const double now =
        std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    if (_explainedAt >= 0 && now - _explainedAt < 1) return;
    _explainedAt = now;
    const SharedCameraBundle& component = SharedCameraBundle::sComponent;
    std::string reason =
        "no camera component " + component.FileName() + " in the component folders";
    if (component.IsComponentLoaded()) reason = ChannelDiagnosis();
    if (reason.empty() || reason == _explained) return;
    _explained = reason;
    NSLog("%s: showing the no-camera card: %s\n", CoreLogIdentity::kPlugInPrefix, reason.c_str());
}

bool CILookpaneInput_VSharedCameraBuffer::hasCurrentCameraFrame() const {
    return camera.sizeofSHARED_CAMERA_BUFFER == sizeof camera && camera.frameBufferPtr &&
           GeometryFits(camera);
}

std::shared_ptr<CIImage> CILookpaneInput_VSharedCameraBuffer::fastestCoreImage() {
    if (!hasCurrentCameraFrame()) return nullptr;
    if (!_bitmapContext || !_bitmapContext->IsConstructed()) return nullptr;
    if (camera.framePixelFormat != kFrameFormat2vuy) return lockedARGBImage();
    // 2vuy frames are read without the lock.
    if (auto image = coreVideoImageFrom_CameraBuffer()) return image;
    CGImageRef imageRef = quartzImageFrom_2vuy_CameraBuffer();
    auto image = CIImage::imageWithCGImage(imageRef);
    CGImageRelease(imageRef);
    return image;
}

bool CILookpaneInput_VSharedCameraBuffer::withFrameLocked(const std::function<void()>& read) {
    SharedCameraBundle& component = SharedCameraBundle::sComponent;
    if (!sRunningInSandboxWithNoSemaphores && !component.LockFrameBuffer(camera.frameBufferPtr))
        return false;
    read();
    if (!sRunningInSandboxWithNoSemaphores) component.UnLockFrameBuffer(camera.frameBufferPtr);
    return true;
}

// The host draws the image after the lock is released, when the writer may already be drawing
// the next frame into that buffer: the frame is copied out while it is locked, and the image
// owns the copy.
std::shared_ptr<CIImage> CILookpaneInput_VSharedCameraBuffer::lockedARGBImage() {
    const size_t size = size_t(camera.frameBufferSizeBytes);
    void* copy = std::malloc(size);
    if (!copy) return nullptr;
    if (!withFrameLocked([&] { std::memcpy(copy, camera.frameBufferPtr, size); })) {
        std::free(copy);
        return nullptr;
    }
    void* const channel = camera.frameBufferPtr;
    camera.frameBufferPtr = copy;
    bool taken = false;
    std::shared_ptr<CIImage> image = coreVideoImageOver(FreeCopyOfPixels, &taken);
    CGImageRef imageRef = image || taken ? nullptr : quartzImageFrom_ARGB_CameraBuffer();
    camera.frameBufferPtr = channel;
    if (!taken) std::free(copy);
    if (image || !imageRef) return image;
    image = CIImage::imageWithCGImage(imageRef);
    CGImageRelease(imageRef);
    return image;
}

std::shared_ptr<CIImage> CILookpaneInput_VSharedCameraBuffer::coreVideoImageFrom_CameraBuffer() {
    return coreVideoImageOver(nullptr, nullptr);
}

std::shared_ptr<CIImage>
CILookpaneInput_VSharedCameraBuffer::coreVideoImageOver(CVPixelBufferReleaseBytesCallback release,
                                                        bool* taken) {
    if (!camera.frameBufferPtr) return nullptr;
    const OSType pixelFormat = camera.framePixelFormat == kFrameFormatARGB
                                   ? kCVPixelFormatType_32ARGB
                                   : camera.framePixelFormat;
    CVPixelBufferRef cameraImageBuffer = nullptr;
    const CVReturn error = CVPixelBufferCreateWithBytes(
        nullptr, size_t(camera.frameWidth), size_t(camera.frameHeight), pixelFormat,
        camera.frameBufferPtr, size_t(camera.frameBufferRowBytes), release, nullptr, nullptr,
        &cameraImageBuffer);
    if (error != kCVReturnSuccess) return nullptr;
    if (!VERIFY(cameraImageBuffer)) return nullptr;
    if (taken) *taken = true;
    std::shared_ptr<CIImage> image = CIImage::imageWithCVImageBuffer(cameraImageBuffer);
    CVPixelBufferRelease(cameraImageBuffer);
    return image;
}

CGImageRef CILookpaneInput_VSharedCameraBuffer::quartzImageFrom_ARGB_CameraBuffer() {
    if (!camera.frameBufferPtr) return nullptr;
    // The image owns a copy, so it stays valid once the lock is released.
    const size_t size = size_t(camera.frameBufferSizeBytes);
    void* copy = std::malloc(size);
    if (!copy) return nullptr;
    std::memcpy(copy, camera.frameBufferPtr, size);
    CGDataProviderRef dataProviderCopy =
        CGDataProviderCreateWithData(nullptr, copy, size, FreeCopy);
    constexpr size_t kImageBitsPerComponent = CoreGraphics::BitmapContext::kImageBitsPerComponent;
    const size_t mImageBitsPerPixel = 32;
    const size_t mImageRowBytes = size_t(camera.frameBufferRowBytes);
    CGColorSpaceRef mImageColorspace = CGColorSpaceCreateDeviceRGB();
    const CGBitmapInfo mImageBitmapInfo = kCGImageAlphaPremultipliedFirst;
    const bool fShouldInterpolate = true;
    const CGColorRenderingIntent renderingIntent = kCGRenderingIntentDefault;
    CGImageRef imageRef = nullptr;
    // clang-format off
    VERIFY(imageRef = CGImageCreate(camera.frameWidth, camera.frameHeight, kImageBitsPerComponent, mImageBitsPerPixel, mImageRowBytes, mImageColorspace, mImageBitmapInfo, dataProviderCopy, NULL, fShouldInterpolate, renderingIntent));
    // clang-format on
    CGColorSpaceRelease(mImageColorspace);
    CGDataProviderRelease(dataProviderCopy);
    return imageRef;
}

CGImageRef CILookpaneInput_VSharedCameraBuffer::quartzImageFrom_2vuy_CameraBuffer() {
    if (!camera.frameBufferPtr || !_bitmapContext) return nullptr;
    Q_2vuy_data frame;
    frame._Width = camera.frameWidth;
    frame._Height = camera.frameHeight;
    frame._RowBytes = 2L * camera.frameWidth;
    frame._PixelFormat = Q_2vuy_format::kPixelFormat_2vuy;
    frame._PixelData = static_cast<uint8_t*>(camera.frameBufferPtr);
    frame._PixelDataSize = camera.frameBufferSizeBytes;
    frame.CopyPixelsTo(*_bitmapContext);
    return _bitmapContext->ConstructCGImage();
}
