#pragma once

// An image of the image-filter framework: a recipe for pixels, read when a context renders it.
// Images are shared objects (std::shared_ptr stands for retain and release); an image keeps what
// it reads (its pixel buffer or Quartz image) alive, but not the memory a pixel buffer wraps.
#include "platform/coregraphics/CoreGraphics.h"
#include "platform/coreimage/CoreVideo.h"

#include <cstddef>
#include <memory>

namespace platform::coreimage {

using platform::coregraphics::CGImageRef;
using platform::coregraphics::CGRect;
using platform::corevideo::CVImageBufferRef;

class CI_API CIImage {
public:
    // Over the buffer's memory, no copy; null for a null buffer.
    static std::shared_ptr<CIImage> imageWithCVImageBuffer(CVImageBufferRef buffer);
    // Over a Quartz image; null for a null image.
    static std::shared_ptr<CIImage> imageWithCGImage(CGImageRef image);
    // Decoded from an encoded picture (PNG); null when the data is not one.
    static std::shared_ptr<CIImage> imageWithData(const void* bytes, size_t size);

    ~CIImage();
    CIImage(const CIImage&) = delete;
    CIImage& operator=(const CIImage&) = delete;

    // Origin at zero, the pixel size.
    CGRect extent() const;

    // The pixels as a premultiplied ARGB Quartz image, which the caller releases: the image
    // itself, a view of an ARGB buffer's memory, or a conversion of a 2vuy buffer. Null when
    // the memory cannot be had. Images of buffers interpolate only when asked to: a draw at
    // their own size is then a plain copy.
    CGImageRef CreateQuartzImage(bool interpolate = true) const;

private:
    CIImage() = default;

    CGImageRef mImage = nullptr;
    CVImageBufferRef mBuffer = nullptr;
};

} // namespace platform::coreimage
