#include "platform/coregraphics/CoreGraphicsDrawing.h"
#include "platform/coregraphics/CoreGraphicsBoxFilter.h"
#include "platform/coregraphics/CoreGraphicsDrawRoute.h"
#include "platform/coregraphics/CoreGraphicsNativeOrder.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <pixman.h>
#include <vector>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "pixel formats below assume it");

namespace platform::coregraphics {

namespace {

enum class SpaceKind { Gray, RGB };

// Releases are counted down atomically: images travel between threads (grab and broadcast).
struct Counted {
    std::atomic<int> references{1};
    void Retain() { references.fetch_add(1, std::memory_order_relaxed); }
    bool ReleaseLast() { return references.fetch_sub(1, std::memory_order_acq_rel) == 1; }
};

// One layout both contexts and images describe.
struct Layout {
    size_t width = 0, height = 0, bitsPerPixel = 0, bytesPerRow = 0;
    CGBitmapInfo bitmapInfo = 0;
    pixman_format_code_t format = pixman_format_code_t(0);
};

// The pixman format of a layout, or 0 when it is not supported. Gray is PIXMAN_g8, which
// pixman reads through a palette.
pixman_format_code_t FormatOf(size_t bitsPerComponent, size_t bitsPerPixel, CGColorSpaceRef space,
                              CGBitmapInfo info) {
    if (bitsPerComponent != 8) return pixman_format_code_t(0);
    const CGImageAlphaInfo alpha = info & kCGBitmapAlphaInfoMask;
    const CGBitmapInfo order = info & kCGBitmapByteOrderMask;
    const size_t components = CGColorSpaceGetNumberOfComponents(space);
    if (bitsPerPixel == 8 && order == kCGBitmapByteOrderDefault) {
        if (components == 1 && alpha == kCGImageAlphaNone) return PIXMAN_g8;
        if (components == 0 && alpha == kCGImageAlphaOnly) return PIXMAN_a8;
        return pixman_format_code_t(0);
    }
    if (bitsPerPixel != 32 || components != 3) return pixman_format_code_t(0);
    const bool big = order == kCGBitmapByteOrderDefault || order == kCGBitmapByteOrder32Big;
    if (!big && order != kCGBitmapByteOrder32Little) return pixman_format_code_t(0);
    // pixman names a 32-bit word from its top bits; on this host memory holds the low byte first.
    switch (alpha) {
    case kCGImageAlphaPremultipliedFirst:
        return big ? PIXMAN_b8g8r8a8 : PIXMAN_a8r8g8b8;
    case kCGImageAlphaNoneSkipFirst:
        return big ? PIXMAN_b8g8r8x8 : PIXMAN_x8r8g8b8;
    case kCGImageAlphaPremultipliedLast:
        return big ? PIXMAN_a8b8g8r8 : PIXMAN_r8g8b8a8;
    case kCGImageAlphaNoneSkipLast:
        return big ? PIXMAN_x8b8g8r8 : PIXMAN_r8g8b8x8;
    default:
        return pixman_format_code_t(0);
    }
}

const pixman_indexed_t* GrayPalette() {
    static const pixman_indexed_t* palette = [] {
        static pixman_indexed_t table{};
        table.color = false;
        for (uint32_t i = 0; i < 256; ++i)
            table.rgba[i] = 0xFF000000u | i * 0x010101u;
        return &table;
    }();
    return palette;
}

// A pixman image of a layout's pixels. pixman wants rows of whole 32-bit words, so other row
// lengths are drawn through an aligned copy, written back by WriteBack().
class Pixels {
public:
    Pixels(const Layout& layout, const void* bytes) : mLayout(layout), mBytes(bytes) {
        const size_t rowBytes = layout.width * layout.bitsPerPixel / 8;
        int stride = int(layout.bytesPerRow);
        void* bits = const_cast<void*>(bytes);
        mCopied = layout.bytesPerRow % 4 != 0 || reinterpret_cast<uintptr_t>(bytes) % 4 != 0;
        if (mCopied) {
            stride = int((rowBytes + 3) / 4 * 4);
            mCopy.resize(size_t(stride) / 4 * layout.height);
            for (size_t y = 0; y < layout.height; ++y)
                std::memcpy(reinterpret_cast<uint8_t*>(mCopy.data()) + y * size_t(stride),
                            static_cast<const uint8_t*>(bytes) + y * layout.bytesPerRow, rowBytes);
            bits = mCopy.data();
        }
        mImage =
            pixman_image_create_bits_no_clear(layout.format, int(layout.width), int(layout.height),
                                              static_cast<uint32_t*>(bits), stride);
        if (mImage && layout.format == PIXMAN_g8) pixman_image_set_indexed(mImage, GrayPalette());
    }
    ~Pixels() {
        if (mImage) pixman_image_unref(mImage);
    }
    Pixels(const Pixels&) = delete;
    Pixels& operator=(const Pixels&) = delete;

    pixman_image_t* Image() const { return mImage; }

    void WriteBack() {
        if (!mCopied) return;
        const size_t rowBytes = mLayout.width * mLayout.bitsPerPixel / 8;
        const size_t stride = (rowBytes + 3) / 4 * 4;
        for (size_t y = 0; y < mLayout.height; ++y)
            std::memcpy(static_cast<uint8_t*>(const_cast<void*>(mBytes)) + y * mLayout.bytesPerRow,
                        reinterpret_cast<const uint8_t*>(mCopy.data()) + y * stride, rowBytes);
    }

private:
    Layout mLayout;
    const void* mBytes;
    bool mCopied = false;
    std::vector<uint32_t> mCopy;
    pixman_image_t* mImage = nullptr;
};

bool Sized(size_t width, size_t height, size_t bitsPerPixel, size_t& bytesPerRow) {
    if (width == 0 || height == 0 || width > 0x7FFFFFF || height > 0x7FFFFFF) return false;
    const size_t natural = width * (bitsPerPixel / 8);
    if (bytesPerRow == 0) bytesPerRow = natural;
    return bytesPerRow >= natural && bytesPerRow <= 0x7FFFFFFF;
}

// Whole pixels (left, top, right, bottom in memory order) covered by a user-space rectangle of
// a context height pixels tall, clipped to width x height; empty when right <= left.
struct Box {
    long left, top, right, bottom;
    bool Empty() const { return right <= left || bottom <= top; }
};

Box PixelsUnder(const CGRect& rect, size_t width, size_t height) {
    CGFloat x0 = rect.origin.x, x1 = rect.origin.x + rect.size.width;
    CGFloat y0 = rect.origin.y, y1 = rect.origin.y + rect.size.height;
    if (x1 < x0) std::swap(x0, x1);
    if (y1 < y0) std::swap(y0, y1);
    const CGFloat h = CGFloat(height);
    auto clip = [](CGFloat v, size_t limit) {
        return long(std::clamp(v, CGFloat(0), CGFloat(limit)));
    };
    return Box{clip(std::floor(x0), width), clip(std::floor(h - y1), height),
               clip(std::ceil(x1), width), clip(std::ceil(h - y0), height)};
}

// Destination pixels to image pixels for an image drawn scaled with its top-left corner at
// (left, top) of the destination's memory; false when pixman's 16.16 cannot hold it.
bool ImageTransform(CGFloat left, CGFloat top, CGFloat scaleX, CGFloat scaleY,
                    pixman_transform_t& transform) {
    pixman_f_transform f{};
    f.m[0][0] = scaleX;
    f.m[0][2] = -left * scaleX;
    f.m[1][1] = scaleY;
    f.m[1][2] = -top * scaleY;
    f.m[2][2] = 1;
    return pixman_transform_from_pixman_f_transform(&transform, &f);
}

} // namespace

struct CGColorSpace : Counted {
    SpaceKind kind;
    explicit CGColorSpace(SpaceKind k) : kind(k) {}
};

struct CGDataProvider : Counted {
    void* info;
    const void* data;
    size_t size;
    CGDataProviderReleaseDataCallback releaseData;
    CGDataProvider(void* i, const void* d, size_t s, CGDataProviderReleaseDataCallback r)
        : info(i), data(d), size(s), releaseData(r) {}
    ~CGDataProvider() {
        if (releaseData) releaseData(info, data, size);
    }
};

struct CGImage : Counted {
    Layout layout;
    CGColorSpaceRef space = nullptr;
    CGDataProviderRef provider = nullptr;
    bool interpolate = true;
    ~CGImage() {
        CGDataProviderRelease(provider);
        CGColorSpaceRelease(space);
    }
};

struct CGContext : Counted {
    Layout layout;
    CGColorSpaceRef space = nullptr;
    void* data = nullptr;
    bool ownsData = false;
    CGInterpolationQuality quality = kCGInterpolationDefault;
    NativeScratch scratch;
    NativeScratch sourceScratch;  // native copies of images in slowly fetched layouts
    std::vector<uint8_t> reduced; // block averages of an image shrunk by more than half
    std::vector<uint32_t> boxSums;
    ~CGContext() {
        if (ownsData) std::free(data);
        CGColorSpaceRelease(space);
    }
};

CGColorSpaceRef CGColorSpaceCreateDeviceGray() {
    return new CGColorSpace(SpaceKind::Gray);
}
CGColorSpaceRef CGColorSpaceCreateDeviceRGB() {
    return new CGColorSpace(SpaceKind::RGB);
}

CGColorSpaceRef CGColorSpaceRetain(CGColorSpaceRef space) {
    if (space) space->Retain();
    return space;
}

void CGColorSpaceRelease(CGColorSpaceRef space) {
    if (space && space->ReleaseLast()) delete space;
}

size_t CGColorSpaceGetNumberOfComponents(CGColorSpaceRef space) {
    if (!space) return 0;
    return space->kind == SpaceKind::Gray ? 1 : 3;
}

CGDataProviderRef CGDataProviderCreateWithData(void* info, const void* data, size_t size,
                                               CGDataProviderReleaseDataCallback releaseData) {
    return new CGDataProvider(info, data, size, releaseData);
}

CGDataProviderRef CGDataProviderRetain(CGDataProviderRef provider) {
    if (provider) provider->Retain();
    return provider;
}

void CGDataProviderRelease(CGDataProviderRef provider) {
    if (provider && provider->ReleaseLast()) delete provider;
}

CGContextRef CGBitmapContextCreate(void* data, size_t width, size_t height, size_t bitsPerComponent,
                                   size_t bytesPerRow, CGColorSpaceRef space,
                                   CGBitmapInfo bitmapInfo) {
    const size_t bitsPerPixel = CGColorSpaceGetNumberOfComponents(space) == 3 ? 32 : 8;
    const pixman_format_code_t format = FormatOf(bitsPerComponent, bitsPerPixel, space, bitmapInfo);
    if (format == 0 || !Sized(width, height, bitsPerPixel, bytesPerRow)) return nullptr;
    bool owns = false;
    if (!data) {
        data = std::calloc(height, bytesPerRow);
        if (!data) return nullptr;
        owns = true;
    }
    CGContext* context = new CGContext;
    context->layout = Layout{width, height, bitsPerPixel, bytesPerRow, bitmapInfo, format};
    context->space = CGColorSpaceRetain(space);
    context->data = data;
    context->ownsData = owns;
    return context;
}

void* CGBitmapContextGetData(CGContextRef context) {
    return context ? context->data : nullptr;
}
size_t CGBitmapContextGetWidth(CGContextRef context) {
    return context ? context->layout.width : 0;
}
size_t CGBitmapContextGetHeight(CGContextRef context) {
    return context ? context->layout.height : 0;
}
size_t CGBitmapContextGetBytesPerRow(CGContextRef context) {
    return context ? context->layout.bytesPerRow : 0;
}
size_t CGBitmapContextGetBitsPerPixel(CGContextRef context) {
    return context ? context->layout.bitsPerPixel : 0;
}
CGContextRef CGContextRetain(CGContextRef context) {
    if (context) context->Retain();
    return context;
}

void CGContextRelease(CGContextRef context) {
    if (context && context->ReleaseLast()) delete context;
}

CGImageRef CGImageCreate(size_t width, size_t height, size_t bitsPerComponent, size_t bitsPerPixel,
                         size_t bytesPerRow, CGColorSpaceRef space, CGBitmapInfo bitmapInfo,
                         CGDataProviderRef provider, const CGFloat* decode, bool shouldInterpolate,
                         CGColorRenderingIntent) {
    const pixman_format_code_t format = FormatOf(bitsPerComponent, bitsPerPixel, space, bitmapInfo);
    if (format == 0 || !provider || decode || bytesPerRow == 0 ||
        !Sized(width, height, bitsPerPixel, bytesPerRow))
        return nullptr;
    // The last row need only hold its pixels.
    if (!provider->data || provider->size < bytesPerRow * (height - 1) + width * bitsPerPixel / 8)
        return nullptr;
    CGImage* image = new CGImage;
    image->layout = Layout{width, height, bitsPerPixel, bytesPerRow, bitmapInfo, format};
    image->space = CGColorSpaceRetain(space);
    image->provider = CGDataProviderRetain(provider);
    image->interpolate = shouldInterpolate;
    return image;
}

size_t CGImageGetWidth(CGImageRef image) {
    return image ? image->layout.width : 0;
}
size_t CGImageGetHeight(CGImageRef image) {
    return image ? image->layout.height : 0;
}
size_t CGImageGetBytesPerRow(CGImageRef image) {
    return image ? image->layout.bytesPerRow : 0;
}
CGBitmapInfo CGImageGetBitmapInfo(CGImageRef image) {
    return image ? image->layout.bitmapInfo : 0;
}

CGImageRef CGImageRetain(CGImageRef image) {
    if (image) image->Retain();
    return image;
}

void CGImageRelease(CGImageRef image) {
    if (image && image->ReleaseLast()) delete image;
}

size_t CGImageGetRetainCount(CGImageRef image) {
    return image ? size_t(image->references.load(std::memory_order_acquire)) : 0;
}

void CGContextSetInterpolationQuality(CGContextRef context, CGInterpolationQuality quality) {
    if (context) context->quality = quality;
}

void CGContextDrawImage(CGContextRef context, CGRect rect, CGImageRef image) {
    CGContextDrawImageThrough(context, rect, image,
                              kernels::Chosen().level == CoreVectorUnit::kReference
                                  ? DrawRoute::Direct
                                  : DrawRoute::NativeOrder);
}

void CGContextDrawImageThrough(CGContextRef context, CGRect rect, CGImageRef image,
                               DrawRoute route) {
    if (!context || !image || rect.size.width == 0 || rect.size.height == 0) return;
    const Layout& dst = context->layout;
    const Box box = PixelsUnder(rect, dst.width, dst.height);
    if (box.Empty()) return;

    // Destination pixel centres map back into the image: x from the rectangle's left, y from
    // its top edge in memory (user space has y up).
    const CGFloat left = std::min(rect.origin.x, rect.origin.x + rect.size.width);
    const CGFloat top =
        CGFloat(dst.height) - std::max(rect.origin.y, rect.origin.y + rect.size.height);
    const CGFloat scaleX = CGFloat(image->layout.width) / std::fabs(rect.size.width);
    const CGFloat scaleY = CGFloat(image->layout.height) / std::fabs(rect.size.height);
    pixman_transform_t transform;
    // A scale beyond 16.16 fixed point cannot be drawn: nothing rather than garbage.
    if (!ImageTransform(left, top, scaleX, scaleY, transform)) return;

    const bool interpolate = context->quality == kCGInterpolationDefault
                                 ? image->interpolate
                                 : context->quality != kCGInterpolationNone;
    // A smoothed image shrunk by more than half is averaged block by block first, and the
    // blocks are what every route below draws.
    Layout src = image->layout;
    const void* srcData = image->provider->data;
    const size_t kx = interpolate ? BoxFactor(scaleX) : 1;
    const size_t ky = interpolate ? BoxFactor(scaleY) : 1;
    if (kx > 1 || ky > 1) {
        const size_t bytesPerPixel = src.bitsPerPixel / 8;
        Layout blocks = src;
        blocks.width = (src.width + kx - 1) / kx;
        blocks.height = (src.height + ky - 1) / ky;
        blocks.bytesPerRow = blocks.width * bytesPerPixel;
        context->reduced.resize(blocks.bytesPerRow * blocks.height);
        BoxReduce(static_cast<const uint8_t*>(srcData), src.bytesPerRow, src.width, src.height,
                  bytesPerPixel, kx, ky, context->boxSums, context->reduced.data());
        src = blocks;
        srcData = context->reduced.data();
        if (!ImageTransform(left, top, scaleX / CGFloat(kx), scaleY / CGFloat(ky), transform))
            return;
    }

    const int width = int(box.right - box.left), height = int(box.bottom - box.top);
    const NativeOrder* order = route != DrawRoute::Direct ? NativeOrderOf(dst.format) : nullptr;
    auto* bytes = static_cast<uint8_t*>(context->data);
    // Our own rows read the image's bytes as they are: no pixman image is made for them.
    if (order && route == DrawRoute::NativeOrder &&
        StretchInNativeOrder({static_cast<const uint8_t*>(srcData), ptrdiff_t(src.bytesPerRow),
                              int(src.width), int(src.height), src.format},
                             transform, interpolate, *order, context->scratch, bytes,
                             dst.bytesPerRow, int(box.left), int(box.top), width, height))
        return;

    // The screen's pixels unscaled into the native layout with alpha: a copy, made opaque.
    if (route != DrawRoute::Direct && dst.format == PIXMAN_a8r8g8b8 &&
        CopyInNativeOrder({static_cast<const uint8_t*>(srcData), ptrdiff_t(src.bytesPerRow),
                           int(src.width), int(src.height), src.format},
                          transform, NativeIdentity(), bytes, dst.bytesPerRow, int(box.left),
                          int(box.top), width, height))
        return;

    const NativeOrder* sourceOrder =
        route != DrawRoute::Direct ? SourceOrderOf(src.format) : nullptr;
    std::optional<Pixels> sourcePixels;
    pixman_image_t* source = nullptr;
    if (sourceOrder)
        source = NativeCopy(*sourceOrder, PIXMAN_FORMAT_A(src.format) == 0,
                            static_cast<const uint8_t*>(srcData), src.bytesPerRow, int(src.width),
                            int(src.height), context->sourceScratch);
    if (!source) source = sourcePixels.emplace(src, srcData).Image();
    if (!source) return;
    pixman_image_set_transform(source, &transform);
    pixman_image_set_filter(source, interpolate ? PIXMAN_FILTER_BILINEAR : PIXMAN_FILTER_NEAREST,
                            nullptr, 0);
    pixman_image_set_repeat(source, PIXMAN_REPEAT_PAD);
    if (order && CompositeInNativeOrder(source, *order, context->scratch, bytes, dst.bytesPerRow,
                                        int(box.left), int(box.top), width, height))
        return;
    if (dst.format != PIXMAN_g8) {
        Pixels target(dst, context->data);
        if (target.Image()) {
            pixman_image_composite32(PIXMAN_OP_OVER, source, nullptr, target.Image(), int(box.left),
                                     int(box.top), 0, 0, int(box.left), int(box.top), width,
                                     height);
            target.WriteBack();
        }
    } else {
        // pixman writes gray only through a 15-bit colour index, so a gray target is drawn in
        // colour and its luminance written back.
        pixman_image_t* colour =
            pixman_image_create_bits_no_clear(PIXMAN_x8r8g8b8, width, height, nullptr, 0);
        if (colour) {
            auto* pixels = reinterpret_cast<uint32_t*>(pixman_image_get_data(colour));
            const int stride = pixman_image_get_stride(colour) / 4;
            for (int y = 0; y < height; ++y) {
                const uint8_t* row = bytes + (box.top + y) * dst.bytesPerRow + box.left;
                for (int x = 0; x < width; ++x)
                    pixels[y * stride + x] = row[x] * 0x010101u;
            }
            pixman_image_composite32(PIXMAN_OP_OVER, source, nullptr, colour, int(box.left),
                                     int(box.top), 0, 0, 0, 0, width, height);
            for (int y = 0; y < height; ++y) {
                uint8_t* row = bytes + (box.top + y) * dst.bytesPerRow + box.left;
                for (int x = 0; x < width; ++x) {
                    const uint32_t p = pixels[y * stride + x];
                    // Weights summing to 256 keep a gray value exactly.
                    row[x] = uint8_t(
                        (77 * (p >> 16 & 0xFF) + 150 * (p >> 8 & 0xFF) + 29 * (p & 0xFF) + 128) >>
                        8);
                }
            }
            pixman_image_unref(colour);
        }
    }
}

void CGContextClearRect(CGContextRef context, CGRect rect) {
    if (!context) return;
    const Layout& l = context->layout;
    const Box box = PixelsUnder(rect, l.width, l.height);
    if (box.Empty()) return;
    const size_t bytesPerPixel = l.bitsPerPixel / 8;
    auto* bytes = static_cast<uint8_t*>(context->data);
    for (long y = box.top; y < box.bottom; ++y)
        std::memset(bytes + y * l.bytesPerRow + box.left * bytesPerPixel, 0,
                    (box.right - box.left) * bytesPerPixel);
}

} // namespace platform::coregraphics
