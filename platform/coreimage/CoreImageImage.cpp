#include "platform/coreimage/CoreImageImage.h"

#include "kernels/KernelTable.h"
#include "platform/coreimage/CoreImagePng.h"

#include <cstdlib>

namespace platform::coreimage {

using namespace platform::coregraphics;
using namespace platform::corevideo;

namespace {

void FreeBytes(void*, const void* data, size_t) {
    std::free(const_cast<void*>(data));
}

void ReleaseBuffer(void* buffer, const void*, size_t) {
    CVPixelBufferRelease(static_cast<CVPixelBufferRef>(buffer));
}

CGImageRef ARGBImage(size_t width, size_t height, size_t rowBytes, CGDataProviderRef provider,
                     bool interpolate) {
    CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
    CGImageRef image =
        CGImageCreate(width, height, 8, 32, rowBytes, space, kCGImageAlphaPremultipliedFirst,
                      provider, nullptr, interpolate, kCGRenderingIntentDefault);
    CGColorSpaceRelease(space);
    CGDataProviderRelease(provider);
    return image;
}

// The memory itself, kept alive through the buffer.
CGImageRef ViewOfARGB(CVPixelBufferRef buffer, bool interpolate) {
    const size_t width = CVPixelBufferGetWidth(buffer), height = CVPixelBufferGetHeight(buffer);
    const size_t rowBytes = CVPixelBufferGetBytesPerRow(buffer);
    CGDataProviderRef provider = CGDataProviderCreateWithData(
        CVPixelBufferRetain(buffer), CVPixelBufferGetBaseAddress(buffer),
        rowBytes * (height - 1) + width * 4, ReleaseBuffer);
    return ARGBImage(width, height, rowBytes, provider, interpolate);
}

// A picture of our own, converted row by row through the 2vuy decoder.
CGImageRef ConversionOf2vuy(CVPixelBufferRef buffer, bool interpolate) {
    const size_t width = CVPixelBufferGetWidth(buffer), height = CVPixelBufferGetHeight(buffer);
    const size_t sourceRowBytes = CVPixelBufferGetBytesPerRow(buffer);
    auto* argb = static_cast<uint8_t*>(std::malloc(width * 4 * height));
    if (!argb) return nullptr;
    const auto* source = static_cast<const uint8_t*>(CVPixelBufferGetBaseAddress(buffer));
    const Q_2vuy_scanline::ScanlineFn decode = kernels::Chosen().decode2vuy;
    for (size_t y = 0; y < height; ++y)
        decode(source + y * sourceRowBytes, argb + y * width * 4, int(width));
    CGDataProviderRef provider =
        CGDataProviderCreateWithData(nullptr, argb, width * 4 * height, FreeBytes);
    return ARGBImage(width, height, width * 4, provider, interpolate);
}

} // namespace

std::shared_ptr<CIImage> CIImage::imageWithCVImageBuffer(CVImageBufferRef buffer) {
    if (!buffer) return nullptr;
    std::shared_ptr<CIImage> image(new CIImage);
    image->mBuffer = CVPixelBufferRetain(buffer);
    return image;
}

std::shared_ptr<CIImage> CIImage::imageWithCGImage(CGImageRef quartzImage) {
    if (!quartzImage) return nullptr;
    std::shared_ptr<CIImage> image(new CIImage);
    image->mImage = CGImageRetain(quartzImage);
    return image;
}

std::shared_ptr<CIImage> CIImage::imageWithData(const void* bytes, size_t size) {
    CGImageRef decoded = CreateImageFromPngData(bytes, size);
    if (!decoded) return nullptr;
    std::shared_ptr<CIImage> image = imageWithCGImage(decoded);
    CGImageRelease(decoded);
    return image;
}

CIImage::~CIImage() {
    CGImageRelease(mImage);
    CVPixelBufferRelease(mBuffer);
}

CGRect CIImage::extent() const {
    if (mImage)
        return CGRectMake(0, 0, CGFloat(CGImageGetWidth(mImage)),
                          CGFloat(CGImageGetHeight(mImage)));
    return CGRectMake(0, 0, CGFloat(CVPixelBufferGetWidth(mBuffer)),
                      CGFloat(CVPixelBufferGetHeight(mBuffer)));
}

CGImageRef CIImage::CreateQuartzImage(bool interpolate) const {
    if (mImage) return CGImageRetain(mImage);
    if (CVPixelBufferGetPixelFormatType(mBuffer) == kCVPixelFormatType_422YpCbCr8)
        return ConversionOf2vuy(mBuffer, interpolate);
    return ViewOfARGB(mBuffer, interpolate);
}

} // namespace platform::coreimage
