#include "pixels/CoreGraphicsBitmapContext.h"

#include "core/CoreVerify.h"

#include <cstdlib>

using namespace platform::coregraphics;

namespace CoreGraphics {

BitmapContext::~BitmapContext() {
    Destruct();
}

bool BitmapContext::Construct(int width, int height, BitmapType type, size_t inUseRowBytes) {
    mImageType = type;
    mImageWidth = unsigned(width);
    mImageHeight = unsigned(height);
    mContext = nullptr;
    mImageBitmapInfo = 0;

    switch (type) {
    case BitmapType_Device_Gray:
        mImageBytesPerPixel = 1;
        mImageColorspace = CGColorSpaceCreateDeviceGray();
        mImageBitmapInfo = kCGImageAlphaNone;
        break;
    case BitmapType_Device_ARGB:
        mImageBytesPerPixel = 4;
        mImageColorspace = CGColorSpaceCreateDeviceRGB();
        mImageBitmapInfo = kCGImageAlphaPremultipliedFirst;
        break;
    case BitmapType_Device_XRGB:
        mImageBytesPerPixel = 4;
        mImageColorspace = CGColorSpaceCreateDeviceRGB();
        mImageBitmapInfo = kCGImageAlphaNoneSkipFirst;
        break;
    case BitmapType_Device_RGBX:
        mImageBytesPerPixel = 4;
        mImageColorspace = CGColorSpaceCreateDeviceRGB();
        mImageBitmapInfo = kCGImageAlphaNoneSkipLast;
        break;
    default:
        return false;
    }
    mImageBitsPerPixel = 8 * mImageBytesPerPixel;

    mImageRowBytes = mImageBytesPerPixel * mImageWidth;
    if (inUseRowBytes != 0) {
        // clang-format off
        if (VERIFY(inUseRowBytes>=mImageRowBytes))
            // clang-format on
            mImageRowBytes = unsigned(inUseRowBytes);
    }

    mImageDataSize = mImageRowBytes * mImageHeight;
    // clang-format off
    if (!VERIFY(mImageDataBytes = CreateImageData(mImageDataSize)))
        return false;
    // clang-format on

    CGContextRef newContextRef = nullptr;
    // clang-format off
    if (!VERIFY(newContextRef = ::CGBitmapContextCreate(mImageDataBytes, mImageWidth, mImageHeight, kImageBitsPerComponent, mImageRowBytes, mImageColorspace, mImageBitmapInfo )))
        return false;
    // clang-format on
    mContext = newContextRef;
    return true;
}

bool BitmapContext::IsConstructed() const {
    return mImageWidth != 0 && mImageHeight != 0 && mContext != nullptr &&
           mImageDataBytes != nullptr;
}

CGImageRef BitmapContext::ConstructCGImage() const {
    void* refcon_unused = nullptr;
    CGDataProviderRef dataProvider = nullptr;
    // clang-format off
    if (!VERIFY(dataProvider=::CGDataProviderCreateWithData(refcon_unused, mImageDataBytes, mImageDataSize, NULL)))
        return nullptr;
    // clang-format on
    const bool fShouldInterpolate = true;
    const CGColorRenderingIntent renderingIntent = kCGRenderingIntentDefault;
    CGImageRef imageRef = nullptr;
    // clang-format off
    VERIFY(imageRef = CGImageCreate(mImageWidth, mImageHeight, kImageBitsPerComponent, mImageBitsPerPixel, mImageRowBytes, mImageColorspace, mImageBitmapInfo, dataProvider, NULL, fShouldInterpolate, renderingIntent));
    // clang-format on
    CGDataProviderRelease(dataProvider);
    return imageRef;
}

void BitmapContext::Draw(CGContextRef inContext, CGRect inRect) const {
    if (!VERIFY(IsConstructed()) || !VERIFY(inContext)) return;
    CGImageRef tempImageRef = ConstructCGImage();
    if (!VERIFY(tempImageRef)) return;
    CGContextDrawImage(inContext, inRect, tempImageRef);
    CGImageRelease(tempImageRef);
}

void BitmapContext::Destruct() {
    // Whatever a failed Construct made is released too.
    CGContextRelease(mContext);
    CGColorSpaceRelease(mImageColorspace);
    if (mImageDataBytes) DeleteImageData(mImageDataBytes);
    mContext = nullptr;
    mImageType = BitmapType(0);
    mImageWidth = mImageHeight = 0;
    mImageBitsPerPixel = mImageBytesPerPixel = 0;
    mImageRowBytes = mImageDataSize = 0;
    mImageBitmapInfo = 0;
    mImageColorspace = nullptr;
    mImageDataBytes = nullptr;
}

uint8_t* BitmapContext::CreateImageData(size_t size) {
    return static_cast<uint8_t*>(std::malloc(size));
}

void BitmapContext::DeleteImageData(uint8_t* bytes) {
    std::free(bytes);
}

} // namespace CoreGraphics
