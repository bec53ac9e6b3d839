#pragma once

// A bitmap of opaque pixels in memory, top row first, each a 32-bit little-endian 0xffRRGGBB
// word (bytes B, G, R, X): the display images' own order, so a grab is copied once. It encodes
// itself as PNG, TIFF or JPEG data, scales with the best interpolation the layer has, and crops.
#include "platform/appkit/AppKitTypes.h"
#include "platform/coregraphics/CoreGraphicsDrawing.h"
#include "platform/imageio/ImageWriters.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace platform::appkit {

// The file types are the image writers' own.
using imageio::NSBitmapImageFileType;
using enum imageio::NSBitmapImageFileType;

class NSBitmapImageRep {
public:
    // Null for an empty size or one beyond the image writers' limit.
    static std::unique_ptr<NSBitmapImageRep> imageRepWithSize(int pixelsWide, int pixelsHigh);
    // The image's pixels; null for no image.
    static std::unique_ptr<NSBitmapImageRep> initWithCGImage(coregraphics::CGImageRef image);

    int pixelsWide() const { return mWidth; }
    int pixelsHigh() const { return mHeight; }
    // One point is one pixel.
    NSSize size() const { return NSMakeSize(mWidth, mHeight); }
    size_t bytesPerRow() const { return size_t(mWidth) * 4; }
    uint32_t* bitmapData() { return mPixels.data(); }
    const uint32_t* bitmapData() const { return mPixels.data(); }
    platform::imageio::ImageDescription imageDescription() const;

    // PNG, TIFF or JPEG data (JPEG at the compression factor); empty for other types or when
    // encoding fails.
    std::vector<uint8_t> representationUsingType(NSBitmapImageFileType type,
                                                 double compressionFactor = 0.75) const;
    std::vector<uint8_t> TIFFRepresentation() const {
        return representationUsingType(NSTIFFFileType);
    }
    // A new bitmap of the given size drawn from the whole of this one with high-quality
    // interpolation (area-averaged when shrinking); null for an empty size.
    std::unique_ptr<NSBitmapImageRep> scaledToSize(int pixelsWide, int pixelsHigh) const;
    // The part under rect, a rectangle with its origin at the bottom-left corner of this bitmap
    // (y up), rounded outwards to whole pixels and clipped; null when no part lies inside.
    std::unique_ptr<NSBitmapImageRep> croppedToRect(NSRect rect) const;

private:
    NSBitmapImageRep(int width, int height);
    int mWidth;
    int mHeight;
    std::vector<uint32_t> mPixels;
};

} // namespace platform::appkit
