// Images of rectangles that reach past the screen or between displays: a backend reads only the
// part on the screen, and nothing it reads shows what lies on no display.
#include "platform/quartzdisplay/ScreenPixels.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace platform::coregraphics {

namespace {

// Opaque black: the padding byte is set, as on every pixel read.
constexpr uint32_t kCleared = 0xFF000000u;

struct Span {
    int from, to;
};

// The columns of image row y (screen coordinates) that displays show within the part, in order.
size_t ShownSpans(const ScreenCapture& capture, int y, std::array<Span, kCGMaxDisplays>& spans) {
    const ScreenArea& part = capture.part;
    if (y < part.top || y >= part.top + part.height) return 0;
    size_t count = 0;
    for (const ScreenDisplay& d : *capture.displays) {
        const int from = std::max(d.x, part.left) - capture.image.left;
        const int to = std::min(d.x + d.width, part.left + part.width) - capture.image.left;
        if (y < d.y || y >= d.y + d.height || from >= to || count == spans.size()) continue;
        size_t at = count++;
        for (; at > 0 && spans[at - 1].from > from; --at)
            spans[at] = spans[at - 1];
        spans[at] = {from, to};
    }
    return count;
}

} // namespace

void Compose(const ScreenCapture& capture, uint32_t* pixels) {
    const ScreenArea &image = capture.image, &part = capture.part;
    const size_t stride = size_t(image.width);
    // Every row moves to a place at or after its own: the last one first.
    const size_t dx = size_t(part.left - image.left), dy = size_t(part.top - image.top);
    if (dx || dy || part.width != image.width)
        for (size_t row = size_t(part.height); row-- > 0;)
            std::memmove(pixels + (dy + row) * stride + dx, pixels + row * size_t(part.width),
                         size_t(part.width) * 4);
    if (!capture.displays) return;
    std::array<Span, kCGMaxDisplays> spans;
    for (int row = 0; row < image.height; ++row) {
        uint32_t* line = pixels + size_t(row) * stride;
        int cleared = 0; // columns before this one are done
        const size_t count = ShownSpans(capture, image.top + row, spans);
        for (size_t i = 0; i < count; ++i) {
            std::fill(line + cleared, line + std::max(cleared, spans[i].from), kCleared);
            cleared = std::max(cleared, spans[i].to);
        }
        std::fill(line + cleared, line + image.width, kCleared);
    }
}

const ScreenDisplay* MostlyOn(const ScreenDisplayList& displays, const ScreenArea& part,
                              ScreenArea& on) {
    const ScreenDisplay* best = nullptr;
    int64_t most = 0;
    for (const ScreenDisplay& d : displays) {
        const int left = std::max(part.left, d.x), top = std::max(part.top, d.y);
        const int width = std::min(part.left + part.width, d.x + d.width) - left;
        const int height = std::min(part.top + part.height, d.y + d.height) - top;
        if (width <= 0 || height <= 0 || int64_t(width) * height <= most) continue;
        most = int64_t(width) * height;
        best = &d;
        on = {left, top, width, height};
    }
    return best;
}

ScreenArea Bounds(const ScreenDisplayList& displays) {
    if (displays.empty()) return {0, 0, 0, 0};
    int left = displays[0].x, top = displays[0].y, right = left, bottom = top;
    for (const ScreenDisplay& d : displays) {
        left = std::min(left, d.x);
        top = std::min(top, d.y);
        right = std::max(right, d.x + d.width);
        bottom = std::max(bottom, d.y + d.height);
    }
    return {left, top, right - left, bottom - top};
}

uint8_t* InPlacePixels(CGContextRef context, int width) {
    auto* pixels = static_cast<uint8_t*>(CGBitmapContextGetData(context));
    if (!pixels || CGBitmapContextGetBitsPerPixel(context) != 32 ||
        CGBitmapContextGetBytesPerRow(context) != size_t(width) * 4)
        return nullptr;
    return pixels;
}

// The image over the context's own bytes drawn onto them: the draw a copied image gets, and an
// unscaled draw reads each row before it writes it, so it converts where they lie.
bool ConvertInPlace(CGContextRef context, int width, int height) {
    CGImageRef image = DisplayImageOver(CGBitmapContextGetData(context), width, height, nullptr);
    if (!image) return false;
    CGContextDrawImage(context, CGRectMake(0, 0, width, height), image);
    CGImageRelease(image);
    return true;
}

// Display images are smoothed when drawn scaled: they are pictures of the screen on their way into
// frames of other sizes, never pixel art that must stay blocky.
CGImageRef DisplayImageOver(void* pixels, int width, int height,
                            CGDataProviderReleaseDataCallback release) {
    const size_t rowBytes = size_t(width) * 4;
    CGDataProviderRef provider =
        CGDataProviderCreateWithData(nullptr, pixels, rowBytes * size_t(height), release);
    CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
    CGImageRef image =
        CGImageCreate(size_t(width), size_t(height), 8, 32, rowBytes, space, kDisplayImageInfo,
                      provider, nullptr, true, kCGRenderingIntentDefault);
    CGColorSpaceRelease(space);
    CGDataProviderRelease(provider);
    return image;
}

SharedPixelFile MakeSharedPixelFile(const char* name, size_t needed) {
    const size_t grown = (needed + 0xFFFF) & ~size_t(0xFFFF);
    const int fd = ::memfd_create(name, MFD_CLOEXEC);
    if (fd < 0) return {};
    void* mapped = MAP_FAILED;
    if (::ftruncate(fd, off_t(grown)) == 0)
        mapped = ::mmap(nullptr, grown, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED) {
        ::close(fd);
        return {};
    }
    return {fd, mapped, grown};
}

} // namespace platform::coregraphics
