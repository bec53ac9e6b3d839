#include "channel/SharedCameraDrawingWriter.h"

#include <initializer_list>

using namespace platform::coregraphics;

namespace {

CGRect WholeFrame(const tagSHARED_CAMERA_BUFFER& record) {
    return CGRectMake(0, 0, record.frameWidth, record.frameHeight);
}

} // namespace

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

SharedCameraDrawingWriter::~SharedCameraDrawingWriter() {
    SharedCameraDrawingWriter::Close();
}

bool SharedCameraDrawingWriter::Open() {
    // An open without a close between (the box turned on after a launch) makes them afresh.
    Close();
    if (!SharedCameraFrameWriter::Open()) return false;
    for (const int n : {0, 1}) {
        mContexts[n] = CGContextRef_From_ARGB_CameraBuffer(Buffer(n));
        Erase(n);
    }
    return true;
}

void SharedCameraDrawingWriter::Close() {
    for (CGContextRef& context : mContexts) {
        CGContextRelease(context);
        context = nullptr;
    }
    SharedCameraFrameWriter::Close();
}

void SharedCameraDrawingWriter::Erase(int n) {
    if (mContexts[n]) CGContextClearRect(mContexts[n], WholeFrame(Buffer(n)));
}

SharedCameraFrameWriter::Result SharedCameraDrawingWriter::WriteImage(CGImageRef image) {
    return Write([this, image](int n, const tagSHARED_CAMERA_BUFFER& record) {
        CGContextDrawImage(mContexts[n], WholeFrame(record), image);
    });
}
