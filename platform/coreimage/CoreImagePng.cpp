#include "platform/coreimage/CoreImagePng.h"

#include <cstdlib>
#include <png.h>

namespace platform::coreimage {

using namespace platform::coregraphics;

CGImageRef CreateImageFromPngData(const void* bytes, size_t size) {
    if (!bytes || size == 0) return nullptr;
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes, size)) return nullptr;
    png.format = PNG_FORMAT_ARGB;
    const size_t dataSize = PNG_IMAGE_SIZE(png);
    auto* argb = static_cast<uint8_t*>(std::malloc(dataSize));
    if (!argb || !png_image_finish_read(&png, nullptr, argb, 0, nullptr)) {
        png_image_free(&png);
        std::free(argb);
        return nullptr;
    }
    // PNG alpha is straight; Quartz images here are premultiplied.
    for (size_t i = 0; i < dataSize; i += 4)
        for (size_t c = 1; c < 4; ++c)
            argb[i + c] = uint8_t((argb[i + c] * argb[i] + 127) / 255);
    CGDataProviderRef provider =
        CGDataProviderCreateWithData(nullptr, argb, dataSize, [](void*, const void* data, size_t) {
            std::free(const_cast<void*>(data));
        });
    CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
    CGImageRef image = CGImageCreate(png.width, png.height, 8, 32, png.width * 4, space,
                                     kCGImageAlphaPremultipliedFirst, provider, nullptr, true,
                                     kCGRenderingIntentDefault);
    CGColorSpaceRelease(space);
    CGDataProviderRelease(provider);
    return image;
}

} // namespace platform::coreimage
