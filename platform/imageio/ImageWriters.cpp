#include "platform/imageio/ImageWriters.h"
#include "platform/imageio/Encoders.h"

#include <cmath>

namespace platform::imageio {
namespace {

template <typename Encode>
OSErr WriteAtomically(const std::string& path, const ImageDescription& image, Encode encode) {
    if (!IsValid(image)) return kParamErr;
    files::AtomicFile file;
    if (const OSErr error = file.Open(path); error != kNoErr) return error;
    if (!encode(file)) return kIoErr; // the file abandons itself
    return file.Commit();
}

} // namespace

OSErr WritePNG(const std::string& path, const ImageDescription& image) {
    return WriteAtomically(path, image, [&](auto& file) { return EncodePNG(file, image); });
}

OSErr WriteTIFF(const std::string& path, const ImageDescription& image) {
    return WriteAtomically(path, image, [&](auto& file) { return EncodeTIFF(file, image); });
}

OSErr WriteJPEG(const std::string& path, const ImageDescription& image, double compressionFactor) {
    const int quality = JPEGQualityForCompressionFactor(compressionFactor);
    return WriteAtomically(path, image,
                           [&](auto& file) { return EncodeJPEG(file, image, quality); });
}

int JPEGQualityForCompressionFactor(double factor) {
    if (!(factor >= 0)) factor = 0; // also NaN
    if (factor > 1) factor = 1;
    const int quality = int(std::lround(factor * 100));
    return quality < 1 ? 1 : quality;
}

} // namespace platform::imageio
