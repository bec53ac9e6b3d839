#include "platform/imageio/ImageDescription.h"

namespace platform::imageio {
namespace {

// Byte offsets of R, G, B and A within a pixel; -1 for no alpha.
struct LayoutRow {
    PixelLayout layout;
    uint8_t bytes;
    uint8_t r, g, b;
    int8_t a;
};

constexpr LayoutRow kLayouts[] = {
    {PixelLayout::kRGBA, 4, 0, 1, 2, 3},  {PixelLayout::kARGB, 4, 1, 2, 3, 0},
    {PixelLayout::kBGRA, 4, 2, 1, 0, 3},  {PixelLayout::kXRGB, 4, 1, 2, 3, -1},
    {PixelLayout::kBGRX, 4, 2, 1, 0, -1}, {PixelLayout::kRGB, 3, 0, 1, 2, -1},
};

const LayoutRow* RowOf(PixelLayout layout) {
    for (const LayoutRow& row : kLayouts)
        if (row.layout == layout) return &row;
    return nullptr;
}

} // namespace

bool HasAlpha(PixelLayout layout) {
    const LayoutRow* row = RowOf(layout);
    return row && row->a >= 0;
}

size_t BytesPerPixel(PixelLayout layout) {
    const LayoutRow* row = RowOf(layout);
    return row ? row->bytes : 0;
}

bool IsValid(const ImageDescription& image) {
    const size_t bytes = BytesPerPixel(image.layout);
    return image.pixels && bytes && image.width >= 1 && image.height >= 1 &&
           image.width <= kMaxImageDimension && image.height <= kMaxImageDimension &&
           image.rowBytes >= size_t(image.width) * bytes;
}

std::vector<uint8_t> PackedSamples(const ImageDescription& image, bool withAlpha) {
    const LayoutRow& layout = *RowOf(image.layout);
    const size_t channels = withAlpha ? 4 : 3;
    std::vector<uint8_t> packed(size_t(image.width) * size_t(image.height) * channels);
    uint8_t* out = packed.data();
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* in = static_cast<const uint8_t*>(image.pixels) + size_t(y) * image.rowBytes;
        for (int x = 0; x < image.width; ++x, in += layout.bytes) {
            *out++ = in[layout.r];
            *out++ = in[layout.g];
            *out++ = in[layout.b];
            if (withAlpha) *out++ = layout.a >= 0 ? in[layout.a] : 255;
        }
    }
    return packed;
}

} // namespace platform::imageio
