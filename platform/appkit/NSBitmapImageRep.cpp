#include "platform/appkit/NSBitmapImageRep.h"

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform::appkit {

using namespace platform::coregraphics;

NSBitmapImageRep::NSBitmapImageRep(int width, int height)
    : mWidth(width), mHeight(height), mPixels(size_t(width) * size_t(height), 0xff000000u) {}

std::unique_ptr<NSBitmapImageRep> NSBitmapImageRep::imageRepWithSize(int pixelsWide,
                                                                     int pixelsHigh) {
    if (pixelsWide < 1 || pixelsHigh < 1 || pixelsWide > imageio::kMaxImageDimension ||
        pixelsHigh > imageio::kMaxImageDimension)
        return nullptr;
    return std::unique_ptr<NSBitmapImageRep>(new NSBitmapImageRep(pixelsWide, pixelsHigh));
}

std::unique_ptr<NSBitmapImageRep> NSBitmapImageRep::initWithCGImage(CGImageRef image) {
    if (!image) return nullptr;
    auto rep = imageRepWithSize(int(CGImageGetWidth(image)), int(CGImageGetHeight(image)));
    if (!rep) return nullptr;
    CGColorSpaceRef rgb = CGColorSpaceCreateDeviceRGB();
    CGContextRef context = CGBitmapContextCreate(
        rep->bitmapData(), size_t(rep->mWidth), size_t(rep->mHeight), 8, rep->bytesPerRow(), rgb,
        kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little);
    CGColorSpaceRelease(rgb);
    if (!context) return nullptr;
    CGContextDrawImage(context, CGRectMake(0, 0, rep->mWidth, rep->mHeight), image);
    CGContextRelease(context);
    for (uint32_t& pixel : rep->mPixels)
        pixel |= 0xff000000u; // the unused byte reads as opaque everywhere
    return rep;
}

imageio::ImageDescription NSBitmapImageRep::imageDescription() const {
    return {mWidth, mHeight, bytesPerRow(), imageio::PixelLayout::kBGRX, false, mPixels.data()};
}

std::vector<uint8_t> NSBitmapImageRep::representationUsingType(NSBitmapImageFileType type,
                                                               double compressionFactor) const {
    return imageio::ImageData(imageDescription(), type, compressionFactor);
}

std::unique_ptr<NSBitmapImageRep> NSBitmapImageRep::scaledToSize(int pixelsWide,
                                                                 int pixelsHigh) const {
    auto rep = imageRepWithSize(pixelsWide, pixelsHigh);
    if (!rep) return nullptr;
    const QImage source(reinterpret_cast<const uchar*>(mPixels.data()), mWidth, mHeight,
                        qsizetype(bytesPerRow()), QImage::Format_RGB32);
    const QImage scaled =
        source.scaled(pixelsWide, pixelsHigh, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < pixelsHigh; ++y)
        std::memcpy(rep->bitmapData() + size_t(y) * size_t(pixelsWide), scaled.constScanLine(y),
                    rep->bytesPerRow());
    return rep;
}

std::unique_ptr<NSBitmapImageRep> NSBitmapImageRep::croppedToRect(NSRect rect) const {
    const int left = std::max(0, int(std::floor(rect.origin.x)));
    const int right = std::min(mWidth, int(std::ceil(rect.origin.x + rect.size.width)));
    const int bottom = std::max(0, int(std::floor(rect.origin.y)));
    const int top = std::min(mHeight, int(std::ceil(rect.origin.y + rect.size.height)));
    auto rep = imageRepWithSize(right - left, top - bottom);
    if (!rep) return nullptr;
    const int firstRow = mHeight - top; // rows are stored top first
    for (int y = 0; y < rep->mHeight; ++y)
        std::memcpy(rep->bitmapData() + size_t(y) * size_t(rep->mWidth),
                    mPixels.data() + size_t(firstRow + y) * size_t(mWidth) + size_t(left),
                    rep->bytesPerRow());
    return rep;
}

} // namespace platform::appkit
