#include "platform/imageio/Encoders.h"

#include <fcntl.h>
#include <tiffio.h>
#include <unistd.h>

namespace platform::imageio {
namespace {

// The library's messages would go to standard error; the writers answer by result instead.
int Quiet(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

bool WriteImage(TIFF* tiff, const ImageDescription& image) {
    const bool alpha = HasAlpha(image.layout);
    const uint16_t channels = alpha ? 4 : 3;
    bool ok = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(image.width)) &&
              TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(image.height)) &&
              TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, uint16_t(8)) &&
              TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, channels) &&
              TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_RGB)) &&
              TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG)) &&
              TIFFSetField(tiff, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_LZW)) &&
              TIFFSetField(tiff, TIFFTAG_PREDICTOR, uint16_t(PREDICTOR_HORIZONTAL)) &&
              TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
    if (ok && alpha) {
        const uint16_t extra[] = {
            uint16_t(image.alphaPremultiplied ? EXTRASAMPLE_ASSOCALPHA : EXTRASAMPLE_UNASSALPHA)};
        ok = TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, uint16_t(1), extra);
    }
    std::vector<uint8_t> samples = PackedSamples(image, alpha);
    const size_t rowBytes = size_t(image.width) * channels;
    for (int y = 0; ok && y < image.height; ++y)
        ok = TIFFWriteScanline(tiff, samples.data() + size_t(y) * rowBytes, uint32_t(y), 0) == 1;
    return ok && TIFFWriteDirectory(tiff);
}

} // namespace

bool EncodeTIFF(int target, const ImageDescription& image) {
    // The library closes the descriptor it is given; the caller keeps its own.
    const int fd = ::fcntl(target, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return false;
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) {
        ::close(fd);
        return false;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options, Quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, Quiet, nullptr);
    TIFF* tiff = TIFFFdOpenExt(fd, "image", "w", options);
    TIFFOpenOptionsFree(options);
    if (!tiff) {
        ::close(fd);
        return false;
    }
    const bool ok = WriteImage(tiff, image) && TIFFFlush(tiff);
    TIFFClose(tiff);
    return ok;
}

} // namespace platform::imageio
