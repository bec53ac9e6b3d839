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

// An opaque image that owns a copy of the captured pixels. Display images are smoothed when drawn
// scaled: they are pictures of the screen on their way into frames of other sizes, never pixel
// art that must stay blocky.
CGImageRef CopyImage(const x11::Connection& x, const x11::Capture& capture) {
    const x11::Area &area = capture.image, &part = capture.part;
    const size_t rowBytes = size_t(area.width) * 4, bytes = rowBytes * size_t(area.height);
    auto* pixels = static_cast<uint32_t*>(std::malloc(bytes));
    if (!pixels) return nullptr;
    const bool read =
        (SharedMemoryWanted(x) &&
         x11::ReadBySharedMemory(x, part.left, part.top, part.width, part.height, pixels)) ||
        x11::ReadByGetImage(x, part.left, part.top, part.width, part.height, pixels);
    if (!read) {
        std::free(pixels);
        return nullptr;
    }
    x11::Compose(capture, pixels);
    CGDataProviderRef provider = CGDataProviderCreateWithData(nullptr, pixels, bytes, FreePixels);
    CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
    CGImageRef image =
        CGImageCreate(size_t(area.width), size_t(area.height), 8, 32, rowBytes, space,
                      x11::kDisplayImageInfo, provider, nullptr, true, kCGRenderingIntentDefault);
    CGColorSpaceRelease(space);
    CGDataProviderRelease(provider);
    return image;
}

CGImageRef ReadImage(const x11::Connection& x, const x11::Capture& capture) {
    if (SharedMemoryWanted(x))
        if (CGImageRef image = x11::CreateImageBySharedMemory(x, capture)) return image;
    return CopyImage(x, capture);
}

// The largest coordinate an X request carries.
constexpr int kXLimit = 32767;

bool Empty(const x11::Area& a) {
    return a.width <= 0 || a.height <= 0;
}

x11::Area Intersection(const x11::Area& a, const x11::Area& b) {
    const int left = std::max(a.left, b.left), top = std::max(a.top, b.top);
    return {left, top, std::min(a.left + a.width, b.left + b.width) - left,
            std::min(a.top + a.height, b.top + b.height) - top};
}

// The root window pixels a rectangle covers, its origin at (x0, y0) of the root window: every
// pixel it touches, since a grabber rectangle converted from points can carry fractions, and
// rounding outwards keeps its edge pixels rather than losing a row or column to truncation.
// Nothing for a rectangle that is not finite; one reaching past the X coordinate space ends there.
std::optional<x11::Area> Covered(const CGRect& rect, int x0, int y0) {
    const double x1 = rect.origin.x + rect.size.width, y1 = rect.origin.y + rect.size.height;
    for (double v : {rect.origin.x, rect.origin.y, x1, y1})
        if (!std::isfinite(v)) return std::nullopt;
    const auto at = [](double v) { return int(std::clamp(v, -double(kXLimit), double(kXLimit))); };
    const int left = at(std::floor(std::min(rect.origin.x, x1)));
    const int top = at(std::floor(std::min(rect.origin.y, y1)));
    return x11::Area{x0 + left, y0 + top, at(std::ceil(std::max(rect.origin.x, x1))) - left,
                     at(std::ceil(std::max(rect.origin.y, y1))) - top};
}

CGImageRef CreateImage(CGDirectDisplayID display, const CGRect* rect) {
    const x11::Connection* x = x11::TheConnection();
    if (!x || !x->capturable) return nullptr;
    const std::optional<x11::Display> found = x11::FindDisplay(x11::OnlineDisplayList(*x), display);
    if (!found) return nullptr;
    const x11::Area shown{found->x, found->y, found->width, found->height};
    const std::optional<x11::Area> covered = rect ? Covered(*rect, found->x, found->y) : shown;
    if (!covered) return nullptr;
    const x11::Area area = Intersection(*covered, shown);
    if (Empty(area)) return nullptr;
    return ReadImage(*x, {area, area});
}

} // namespace

CGImageRef CGDisplayCreateImage(CGDirectDisplayID display) {
    return CreateImage(display, nullptr);
}

CGImageRef CGDisplayCreateImageForRect(CGDirectDisplayID display, CGRect rect) {
    return CreateImage(display, &rect);
}

CGImageRef CGWindowListCreateImage(CGRect screenBounds, CGWindowListOption listOption,
                                   CGWindowID windowID, CGWindowImageOption imageOption) {
    if (listOption != kCGWindowListOptionOnScreenOnly || windowID != kCGNullWindowID ||
        imageOption != kCGWindowImageDefault)
        return nullptr;
    const x11::Connection* x = x11::TheConnection();
    if (!x || !x->capturable) return nullptr;
    const x11::DisplayList displays = x11::OnlineDisplayList(*x);
    if (displays.empty()) return nullptr;
    const std::optional<x11::Area> area =
        Covered(screenBounds, displays.front().x, displays.front().y);
    if (!area || area->width > kXLimit || area->height > kXLimit) return nullptr;
    const x11::Area part = Intersection(*area, {0, 0, x->rootWidth, x->rootHeight});
    const bool shown = std::any_of(displays.begin(), displays.end(), [&](const x11::Display& d) {
        return !Empty(Intersection(part, {d.x, d.y, d.width, d.height}));
    });
    if (!shown) return nullptr;
    return ReadImage(*x, {*area, part, &displays});
}

} // namespace platform::coregraphics
