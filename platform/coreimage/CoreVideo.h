#pragma once

// Core Video pixel buffers as far as images over frame memory need them: a buffer wraps memory
// somebody else owns, without a copy. Reference counted like the drawing objects: Create gives
// one reference, Retain adds one, Release drops one (and accepts null).
#include <cstddef>
#include <cstdint>

#define CI_API __attribute__((visibility("default")))

namespace platform::corevideo {

using CVReturn = int32_t;
constexpr CVReturn kCVReturnSuccess = 0;
constexpr CVReturn kCVReturnInvalidArgument = -6661;
constexpr CVReturn kCVReturnInvalidPixelFormat = -6680;
constexpr CVReturn kCVReturnInvalidSize = -6681;

using OSType = uint32_t;
// The two layouts frames come in: A, R, G, B bytes (premultiplied) and Cb, Y0, Cr, Y1 pairs.
constexpr OSType kCVPixelFormatType_32ARGB = 0x00000020;
constexpr OSType kCVPixelFormatType_422YpCbCr8 = 0x32767579; // '2vuy'

struct CVPixelBuffer;
using CVPixelBufferRef = CVPixelBuffer*;
using CVImageBufferRef = CVPixelBufferRef;
using CVPixelBufferReleaseBytesCallback = void (*)(void* releaseRefCon, const void* baseAddress);

// A buffer over baseAddress: width x height pixels, bytesPerRow apart, which must stay valid for
// the buffer's life; releaseCallback (may be null) is called when the last reference goes.
// Allocators and attributes are not supported and must be null. Formats other than the two
// above give kCVReturnInvalidPixelFormat; rows shorter than the pixels they hold give
// kCVReturnInvalidSize.
CI_API CVReturn CVPixelBufferCreateWithBytes(const void* allocator, size_t width, size_t height,
                                             OSType pixelFormatType, void* baseAddress,
                                             size_t bytesPerRow,
                                             CVPixelBufferReleaseBytesCallback releaseCallback,
                                             void* releaseRefCon, const void* pixelBufferAttributes,
                                             CVPixelBufferRef* pixelBufferOut);
CI_API CVPixelBufferRef CVPixelBufferRetain(CVPixelBufferRef buffer);
CI_API void CVPixelBufferRelease(CVPixelBufferRef buffer);
CI_API size_t CVPixelBufferGetWidth(CVPixelBufferRef buffer);
CI_API size_t CVPixelBufferGetHeight(CVPixelBufferRef buffer);
CI_API size_t CVPixelBufferGetBytesPerRow(CVPixelBufferRef buffer);
CI_API OSType CVPixelBufferGetPixelFormatType(CVPixelBufferRef buffer);
CI_API void* CVPixelBufferGetBaseAddress(CVPixelBufferRef buffer);

} // namespace platform::corevideo
