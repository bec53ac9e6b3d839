#pragma once

#include "platform/coregraphics/CoreGraphics.h"

#include <cstddef>
#include <cstdint>

namespace CoreGraphics {

// What every drawing context of ours is; holds nothing itself.
class Context {};

// A block of pixel memory with a bitmap drawing context over it. Images made from it share
// the memory, so they see what is drawn later and must not outlive it.
class BitmapContext : public Context {
public:
    enum BitmapType : int32_t {
        BitmapType_Device_Gray = 1, // 1 byte, no alpha
        BitmapType_Device_ARGB = 2, // bytes A, R, G, B, premultiplied
        BitmapType_Device_XRGB = 3, // bytes X, R, G, B, first byte ignored
        BitmapType_Device_RGBX = 4, // bytes R, G, B, X, last byte ignored
    };
    static constexpr size_t kImageBitsPerComponent = 8;

    BitmapContext() = default;
    virtual ~BitmapContext();
    BitmapContext(const BitmapContext&) = delete;
    BitmapContext& operator=(const BitmapContext&) = delete;

    // For an empty object: to change size, Destruct first. Row bytes are width times bytes per
    // pixel unless inUseRowBytes is larger. A failure keeps what was made until Destruct.
    bool Construct(int width, int height, BitmapType type, size_t inUseRowBytes = 0);
    bool IsConstructed() const;
    void Destruct();

    // A new image over this object's pixels (no copy), which the caller releases; null on
    // failure.
    virtual platform::coregraphics::CGImageRef ConstructCGImage() const;
    // Draws the current pixels into inContext, scaled to fill inRect.
    void Draw(platform::coregraphics::CGContextRef inContext,
              platform::coregraphics::CGRect inRect) const;

    BitmapType GetImageType() const { return mImageType; }
    platform::coregraphics::CGContextRef GetContext() const { return mContext; }
    unsigned GetImageWidth() const { return mImageWidth; }
    unsigned GetImageHeight() const { return mImageHeight; }
    unsigned GetImageRowBytes() const { return mImageRowBytes; }
    unsigned GetImageDataSize() const { return mImageDataSize; }
    platform::coregraphics::CGBitmapInfo GetImageBitmapInfo() const { return mImageBitmapInfo; }
    uint8_t* GetImageDataBytes() const { return mImageDataBytes; }

protected:
    // A subclass may supply its own pixel memory; the defaults use the heap.
    virtual uint8_t* CreateImageData(size_t size);
    virtual void DeleteImageData(uint8_t* bytes);

private:
    platform::coregraphics::CGContextRef mContext = nullptr;
    BitmapType mImageType = BitmapType(0);
    unsigned mImageWidth = 0;
    unsigned mImageHeight = 0;
    unsigned mImageBitsPerPixel = 0;
    unsigned mImageBytesPerPixel = 0;
    unsigned mImageRowBytes = 0;
    unsigned mImageDataSize = 0;
    platform::coregraphics::CGBitmapInfo mImageBitmapInfo = 0;
    platform::coregraphics::CGColorSpaceRef mImageColorspace = nullptr;
    uint8_t* mImageDataBytes = nullptr;
};

} // namespace CoreGraphics
