#include "platform/imageio/Encoders.h"

#include <png.h>

namespace platform::imageio {

bool EncodePNG(int fd, const ImageDescription& image) {
    const bool alpha = HasAlpha(image.layout);
    const std::vector<uint8_t> samples = PackedSamples(image, alpha);
    FILE* stream = StreamOver(fd);
    if (!stream) return false;
    // The simplified interface writes 8-bit sRGB samples unchanged and never interlaces.
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = png_uint_32(image.width);
    png.height = png_uint_32(image.height);
    png.format = alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    const bool written = png_image_write_to_stdio(&png, stream, 0, samples.data(), 0, nullptr);
    png_image_free(&png);
    return ::fclose(stream) == 0 && written;
}

} // namespace platform::imageio
