#pragma once

// A plain description of 8-bit-per-sample pixels in memory, as the image writers take them.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform::imageio {

// The order of a pixel's bytes in memory. "X" is a byte that is there but unused (opaque).
enum class PixelLayout {
    kRGBA, // R,G,B,A: the image class's meshed pixels
    kARGB, // A,R,G,B: camera frames and device bitmaps
    kBGRA, // B,G,R,A: 32-bit little-endian 0xAARRGGBB words (pixman, X11)
    kXRGB, // X,R,G,B
    kBGRX, // B,G,R,X: 32-bit little-endian 0x00RRGGBB words (X11 screen pixels)
    kRGB,  // R,G,B
};

struct ImageDescription {
    int width = 0;
    int height = 0;
    size_t rowBytes = 0;
    PixelLayout layout = PixelLayout::kRGBA;
    // Colour samples already multiplied by alpha: recorded as such where a format can say so.
    bool alphaPremultiplied = false;
    const void* pixels = nullptr; // top row first
};

// The largest width or height the writers take (the JPEG format's own limit).
constexpr int kMaxImageDimension = 65500;

bool HasAlpha(PixelLayout layout);
size_t BytesPerPixel(PixelLayout layout);
// Whether the description can be read: a pixel pointer, sizes from 1 to the limit, rows long
// enough for their pixels.
bool IsValid(const ImageDescription& image);

// The pixels as packed rows of R,G,B (withAlpha false) or R,G,B,A (an unused byte reads as 255),
// top row first. The image must be valid.
std::vector<uint8_t> PackedSamples(const ImageDescription& image, bool withAlpha);

} // namespace platform::imageio
