// Display images: which pixels of the screen a display or a rectangle covers; the backend reads
// them.
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"
#include "platform/quartzdisplay/DisplayBackend.h"
#include "platform/quartzdisplay/ScreenChangeWatch.h"
#include "platform/quartzdisplay/ScreenPixels.h"

#include <algorithm>
#include <cmath>

namespace platform::coregraphics {

namespace {

// The largest coordinate an X request carries, which bounds every screen's.
constexpr int kLimit = 32767;

thread_local std::string tProblem;

bool Empty(const ScreenArea& a) {
    return a.width <= 0 || a.height <= 0;
}

ScreenArea Intersection(const ScreenArea& a, const ScreenArea& b) {
    const int left = std::max(a.left, b.left), top = std::max(a.top, b.top);
    return {left, top, std::min(a.left + a.width, b.left + b.width) - left,
            std::min(a.top + a.height, b.top + b.height) - top};
}

// The screen pixels a rectangle covers, its origin at (x0, y0) of the screen: every
// pixel it touches, since a grabber rectangle converted from points can carry fractions, and
// rounding outwards keeps its edge pixels rather than losing a row or column to truncation.
// Nothing for a rectangle that is not finite; one reaching past the coordinate space ends there.
std::optional<ScreenArea> Covered(const CGRect& rect, int x0, int y0) {
    const double x1 = rect.origin.x + rect.size.width, y1 = rect.origin.y + rect.size.height;
    for (double v : {rect.origin.x, rect.origin.y, x1, y1})
        if (!std::isfinite(v)) return std::nullopt;
    const auto at = [](double v) { return int(std::clamp(v, -double(kLimit), double(kLimit))); };
    const int left = at(std::floor(std::min(rect.origin.x, x1)));
    const int top = at(std::floor(std::min(rect.origin.y, y1)));
    return ScreenArea{x0 + left, y0 + top, at(std::ceil(std::max(rect.origin.x, x1))) - left,
                      at(std::ceil(std::max(rect.origin.y, y1))) - top};
}

CGImageRef CreateImage(CGDirectDisplayID display, const CGRect* rect) {
    tProblem.clear();
    const DisplayBackend& backend = TheDisplayBackend();
    const std::optional<ScreenDisplay> found = FindDisplay(backend.Displays(), display);
    if (!found) return nullptr;
    const ScreenArea shown{found->x, found->y, found->width, found->height};
    const std::optional<ScreenArea> covered = rect ? Covered(*rect, found->x, found->y) : shown;
    if (!covered) return nullptr;
    const ScreenArea area = Intersection(*covered, shown);
    if (Empty(area)) return nullptr;
    return backend.CreateImage({area, area});
}

// The screen pixels of a rectangle in global display coordinates; nothing when it is not finite
// or too large for the screen's coordinates.
std::optional<ScreenArea> GlobalArea(const CGRect& rect, const ScreenDisplayList& displays) {
    if (displays.empty()) return std::nullopt;
    const std::optional<ScreenArea> area = Covered(rect, displays.front().x, displays.front().y);
    if (!area || area->width > kLimit || area->height > kLimit) return std::nullopt;
    return area;
}

bool Same(const ScreenArea& a, const ScreenArea& b) {
    return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
}

bool Same(const ScreenDisplayList& a, const ScreenDisplayList& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const ScreenDisplay& d, const ScreenDisplay& e) {
                          return d.id == e.id && d.x == e.x && d.y == e.y && d.width == e.width &&
                                 d.height == e.height;
                      });
}

} // namespace

CGImageRef CGDisplayCreateImage(CGDirectDisplayID display) {
    return CreateImage(display, nullptr);
}

CGImageRef CGDisplayCreateImageForRect(CGDirectDisplayID display, CGRect rect) {
    return CreateImage(display, &rect);
}

namespace {

// The capture of a rectangle in global display coordinates over these displays; none when no
// display shows any of it or a side is longer than a request can carry.
std::optional<ScreenCapture> CaptureOfBounds(const CGRect& screenBounds,
                                             const ScreenDisplayList& displays,
                                             const DisplayBackend& backend) {
    const std::optional<ScreenArea> area = GlobalArea(screenBounds, displays);
    if (!area) return std::nullopt;
    const ScreenArea part = Intersection(*area, backend.Screen());
    const bool shown = std::any_of(displays.begin(), displays.end(), [&](const ScreenDisplay& d) {
        return !Empty(Intersection(part, {d.x, d.y, d.width, d.height}));
    });
    if (!shown) return std::nullopt;
    return ScreenCapture{*area, part, &displays};
}

} // namespace

CGImageRef CGWindowListCreateImage(CGRect screenBounds, CGWindowListOption listOption,
                                   CGWindowID windowID, CGWindowImageOption imageOption) {
    tProblem.clear();
    if (listOption != kCGWindowListOptionOnScreenOnly || windowID != kCGNullWindowID ||
        imageOption != kCGWindowImageDefault)
        return nullptr;
    const DisplayBackend& backend = TheDisplayBackend();
    const ScreenDisplayList displays = backend.Displays();
    const std::optional<ScreenCapture> capture = CaptureOfBounds(screenBounds, displays, backend);
    return capture ? backend.CreateImage(*capture) : nullptr;
}

bool CGWindowListDrawImageInPlace(CGRect screenBounds, CGContextRef context) {
    // The covered size does not depend on where the main display lies: another size is refused
    // before the displays are asked for.
    const std::optional<ScreenArea> size = Covered(screenBounds, 0, 0);
    if (!size || size_t(size->width) != CGBitmapContextGetWidth(context) ||
        size_t(size->height) != CGBitmapContextGetHeight(context))
        return false;
    tProblem.clear();
    const DisplayBackend& backend = TheDisplayBackend();
    const ScreenDisplayList displays = backend.Displays();
    const std::optional<ScreenCapture> capture = CaptureOfBounds(screenBounds, displays, backend);
    return capture && backend.DrawInPlace(*capture, context);
}

std::string CGDisplayImageProblem() {
    return tProblem;
}

void SetDisplayImageProblem(const std::string& why) {
    tProblem = why;
}

bool ScreenChangeWatch::Changed(CGRect screenBounds) {
    const DisplayBackend& backend = TheDisplayBackend();
    const ScreenDisplayList displays = backend.Displays();
    const std::optional<ScreenArea> area = GlobalArea(screenBounds, displays);
    // The drawing is taken on every look, so that none counts again at a later one.
    const bool drawn = !area || backend.Drawn(*area);
    const bool same = area && mArea && Same(*area, *mArea) && Same(displays, mDisplays);
    mArea = area;
    mDisplays = displays;
    return drawn || !same;
}

bool ScreenChangeWatch::MayHaveChanged() const {
    return !mArea || TheDisplayBackend().DrawnSinceLast(*mArea);
}

int ScreenChangeWatch::DrawingDescriptor() const {
    return TheDisplayBackend().DrawingDescriptor();
}

} // namespace platform::coregraphics
