#pragma once

// PNG, TIFF and JPEG files and data from pixels in memory. Files are written whole or not at
// all (a temporary file beside the target, synced and renamed over it; nothing is left behind on
// failure).
// Samples are written as they are: PNG and TIFF files decode to exactly the given pixels
// (R,G,B, plus A when the layout has alpha); JPEG keeps R,G,B only.
#include "platform/PlatformTypes.h"
#include "platform/imageio/ImageDescription.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform::imageio {

// The encodings, numbered as the bitmap image representations' file types. PNG: not interlaced,
// 8 bits a sample. TIFF: lossless (LZW with the horizontal predictor), one image, 8 bits a
// sample; alpha is marked associated when the pixels are premultiplied. JPEG: baseline, at the
// quality the compression factor maps to. BMP and GIF are not written.
enum NSBitmapImageFileType {
    NSTIFFFileType = 0,
    NSBMPFileType = 1,
    NSGIFFileType = 2,
    NSJPEGFileType = 3,
    NSPNGFileType = 4,
};

// kParamErr for an invalid description or a type not written, kFnfErr when the folder does not
// exist, kIoErr when encoding or writing fails.
OSErr WriteImage(const std::string& path, const ImageDescription& image, NSBitmapImageFileType type,
                 double compressionFactor);
// The same encoding in memory, for the clipboard: empty for an invalid description, a type not
// written, or when encoding fails.
std::vector<uint8_t> ImageData(const ImageDescription& image, NSBitmapImageFileType type,
                               double compressionFactor);

// A compression factor runs from 0 (smallest file) to 1 (best quality). It maps linearly onto
// the encoder's quality scale 1..100, rounded: quality = round(factor x 100), so 0.75 writes at
// quality 75, the encoder's own default. Values outside 0..1 are clamped.
int JPEGQualityForCompressionFactor(double compressionFactor);

} // namespace platform::imageio
