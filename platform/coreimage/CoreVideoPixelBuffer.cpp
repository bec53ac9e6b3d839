#include "platform/coreimage/CoreVideo.h"

#include <atomic>

namespace platform::corevideo {

struct CVPixelBuffer {
    std::atomic<int> references{1};
    size_t width, height, bytesPerRow;
    OSType format;
    void* base;
    CVPixelBufferReleaseBytesCallback release;
    void* refCon;
};

namespace {

// The bytes a row of width pixels needs; 0 for a format we do not hold. A 2vuy row holds
// whole pairs, so an odd width still takes its last pair's bytes.
size_t RowBytesNeeded(OSType format, size_t width) {
    switch (format) {
    case kCVPixelFormatType_32ARGB:
        return width * 4;
    case kCVPixelFormatType_422YpCbCr8:
        return (width + 1) / 2 * 4;
    default:
        return 0;
    }
}

} // namespace

CVReturn CVPixelBufferCreateWithBytes(const void* allocator, size_t width, size_t height,
                                      OSType pixelFormatType, void* baseAddress, size_t bytesPerRow,
                                      CVPixelBufferReleaseBytesCallback releaseCallback,
                                      void* releaseRefCon, const void* pixelBufferAttributes,
                                      CVPixelBufferRef* pixelBufferOut) {
    if (!pixelBufferOut) return kCVReturnInvalidArgument;
    *pixelBufferOut = nullptr;
    if (allocator || pixelBufferAttributes || !baseAddress) return kCVReturnInvalidArgument;
    if (RowBytesNeeded(pixelFormatType, 1) == 0) return kCVReturnInvalidPixelFormat;
    if (width == 0 || height == 0 || width > 0x7FFFFFF || height > 0x7FFFFFF ||
        bytesPerRow < RowBytesNeeded(pixelFormatType, width))
        return kCVReturnInvalidSize;
    *pixelBufferOut =
        new CVPixelBuffer{{1},         width,           height,       bytesPerRow, pixelFormatType,
                          baseAddress, releaseCallback, releaseRefCon};
    return kCVReturnSuccess;
}

CVPixelBufferRef CVPixelBufferRetain(CVPixelBufferRef buffer) {
    if (buffer) buffer->references.fetch_add(1, std::memory_order_relaxed);
    return buffer;
}

void CVPixelBufferRelease(CVPixelBufferRef buffer) {
    if (!buffer || buffer->references.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    if (buffer->release) buffer->release(buffer->refCon, buffer->base);
    delete buffer;
}

size_t CVPixelBufferGetWidth(CVPixelBufferRef buffer) {
    return buffer ? buffer->width : 0;
}
size_t CVPixelBufferGetHeight(CVPixelBufferRef buffer) {
    return buffer ? buffer->height : 0;
}
size_t CVPixelBufferGetBytesPerRow(CVPixelBufferRef buffer) {
    return buffer ? buffer->bytesPerRow : 0;
}
OSType CVPixelBufferGetPixelFormatType(CVPixelBufferRef buffer) {
    return buffer ? buffer->format : 0;
}
void* CVPixelBufferGetBaseAddress(CVPixelBufferRef buffer) {
    return buffer ? buffer->base : nullptr;
}

} // namespace platform::corevideo
