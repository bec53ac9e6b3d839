#pragma once

// The area-averaging step of a draw that shrinks an image by more than half: blocks of
// kx x ky pixels averaged into one, so that the bilinear filter after it shrinks by at most
// 2x and every pixel of the image counts. The rows are the kernel table's.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform::coregraphics {

// The block size along one axis for a scale of image pixels per destination pixel: the least
// that leaves the bilinear filter at most 2 image pixels per destination pixel.
size_t BoxFactor(double scale);

// Writes ceil(width / kx) x ceil(height / ky) pixels into out, rows packed; the last block of a
// row or column holds what is left. sums is scratch kept by the caller from draw to draw.
void BoxReduce(const uint8_t* pixels, size_t bytesPerRow, size_t width, size_t height,
               size_t bytesPerPixel, size_t kx, size_t ky, std::vector<uint32_t>& sums,
               uint8_t* out);

} // namespace platform::coregraphics
