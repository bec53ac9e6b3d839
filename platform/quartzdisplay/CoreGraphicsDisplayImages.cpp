// Display images: the pixels of a display, or of part of it, read from the X server. A local
// server writes them into a shared segment the image is drawn from directly; otherwise they are
// copied out of image replies.
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"
#include "platform/quartzdisplay/XCapture.h"
#include "platform/quartzdisplay/XDisplayList.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace platform::coregraphics {

namespace {

// Tests and benchmarks set VISTREL_X11_NO_SHM=1 to take the path a remote display takes.
bool SharedMemoryWanted(const x11::Connection& x) {
    const char* off = std::getenv("VISTREL_X11_NO_SHM");
    return x.sharedMemory && !(off && std::strcmp(off, "1") == 0);
}

void FreePixels(void*, const void* data, size_t) {
    std::free(const_cast<void*>(data));
}

// An opaque image that owns a copy of width x height pixels read at (left, top) of the root
// window. Display images are smoothed when drawn scaled: they are pictures of the screen on their
// way into frames of other sizes, never pixel art that must stay blocky.
CGImageRef CopyImage(const x11::Connection& x, int left, int top, int width, int height) {
    const size_t rowBytes = size_t(width) * 4, bytes = rowBytes * size_t(height);
    auto* pixels = static_cast<uint32_t*>(std::malloc(bytes));
    if (!pixels) return nullptr;
    const bool read =
        (SharedMemoryWanted(x) && x11::ReadBySharedMemory(x, left, top, width, height, pixels)) ||
        x11::ReadByGetImage(x, left, top, width, height, pixels);
    if (!read) {
        std::free(pixels);
        return nullptr;
    }
    CGDataProviderRef provider = CGDataProviderCreateWithData(nullptr, pixels, bytes, FreePixels);
    CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
    CGImageRef image =
        CGImageCreate(size_t(width), size_t(height), 8, 32, rowBytes, space, x11::kDisplayImageInfo,
                      provider, nullptr, true, kCGRenderingIntentDefault);
    CGColorSpaceRelease(space);
    CGDataProviderRelease(provider);
    return image;
}

CGImageRef ReadImage(const x11::Connection& x, int left, int top, int width, int height) {
    if (SharedMemoryWanted(x))
        if (CGImageRef image = x11::CreateImageBySharedMemory(x, left, top, width, height))
            return image;
    return CopyImage(x, left, top, width, height);
}

// A rectangle in display coordinates covers every pixel it touches: a grabber rectangle
// converted from points can carry fractions, and rounding outwards keeps its edge pixels
// rather than losing a row or column to truncation.
CGImageRef CreateImage(CGDirectDisplayID display, const CGRect* rect) {
    const x11::Connection* x = x11::TheConnection();
    if (!x || !x->capturable) return nullptr;
    const std::optional<x11::Display> found = x11::FindDisplay(x11::OnlineDisplayList(*x), display);
    if (!found) return nullptr;
    double left = 0, top = 0, right = found->width, bottom = found->height;
    if (rect) {
        const double x0 = rect->origin.x, x1 = x0 + rect->size.width;
        const double y0 = rect->origin.y, y1 = y0 + rect->size.height;
        if (!std::isfinite(x0) || !std::isfinite(x1) || !std::isfinite(y0) || !std::isfinite(y1))
            return nullptr;
        left = std::max(left, std::floor(std::min(x0, x1)));
        top = std::max(top, std::floor(std::min(y0, y1)));
        right = std::min(right, std::ceil(std::max(x0, x1)));
        bottom = std::min(bottom, std::ceil(std::max(y0, y1)));
    }
    if (right <= left || bottom <= top) return nullptr;
    return ReadImage(*x, found->x + int(left), found->y + int(top), int(right - left),
                     int(bottom - top));
}

} // namespace

CGImageRef CGDisplayCreateImage(CGDirectDisplayID display) {
    return CreateImage(display, nullptr);
}

CGImageRef CGDisplayCreateImageForRect(CGDirectDisplayID display, CGRect rect) {
    return CreateImage(display, &rect);
}

} // namespace platform::coregraphics
