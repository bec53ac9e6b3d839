#pragma once

// Where the display services get their displays and pixels: one backend per kind of desktop,
// chosen once per process. The services keep the coordinate rules and the rectangle arithmetic;
// a backend lists the screen's displays and reads its pixels.
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace platform::coregraphics {

// A display in screen pixels: the desktop's own space, origin top-left, y down.
struct ScreenDisplay {
    CGDirectDisplayID id;
    int x, y, width, height;
};

// At most kCGMaxDisplays, the main display first; a plain value, so a copy allocates nothing.
struct ScreenDisplayList {
    std::array<ScreenDisplay, kCGMaxDisplays> displays{};
    size_t count = 0;

    bool empty() const { return count == 0; }
    size_t size() const { return count; }
    const ScreenDisplay& operator[](size_t i) const { return displays[i]; }
    const ScreenDisplay& front() const { return displays[0]; }
    const ScreenDisplay* begin() const { return displays.data(); }
    const ScreenDisplay* end() const { return displays.data() + count; }
};

std::optional<ScreenDisplay> FindDisplay(const ScreenDisplayList& displays, CGDirectDisplayID id);

// A rectangle in screen pixels.
struct ScreenArea {
    int left, top, width, height;
};

// What an image shows: its rectangle of the screen and the part of it on the screen, which is
// what can be read. With displays, the pixels on none of them are cleared: an image of a
// rectangle across displays shows what lies between them as no display shows it.
struct ScreenCapture {
    ScreenArea image, part;
    const ScreenDisplayList* displays = nullptr;
};

class DisplayBackend {
public:
    virtual ~DisplayBackend() = default;
    // The displays now; empty when there is no screen to talk to.
    virtual ScreenDisplayList Displays() const = 0;
    // The whole screen, which every display lies on.
    virtual ScreenArea Screen() const = 0;
    // A display image (see CGDisplayCreateImage) of the capture's rectangle; null when the
    // screen's pixels cannot be read.
    virtual CGImageRef CreateImage(const ScreenCapture& capture) const = 0;
    // That image drawn over the whole of a bitmap context of its size, its pixels written by the
    // desktop straight into the context's memory; false where that memory cannot be shared with
    // it, and then the context's pixels are undefined.
    virtual bool DrawInPlace(const ScreenCapture& capture, CGContextRef context) const = 0;
    // Whether anything may have been drawn over the area since the last call: true the first
    // time and wherever the backend cannot follow the screen's drawing. One follower a process,
    // since each call takes the drawing it reports.
    virtual bool Drawn(const ScreenArea& area) const = 0;
    // What the next Drawn would answer, without taking the drawing: asked when the descriptor
    // below becomes readable, which it does when the desktop reports drawing, by a wait for the
    // screen's next change. No descriptor (the default) where the backend cannot tell; then only
    // Drawn tells, at every look.
    virtual bool DrawnSinceLast(const ScreenArea&) const { return true; }
    virtual int DrawingDescriptor() const { return -1; }
};

// Whether the desktop is a Wayland compositor's (with XWayland for the X11 windows).
bool WaylandSession();

// What the display services need of the application, which installs it at start, before the
// displays are first used (they are chosen on that thread): a place for what they keep between
// runs (the desktop portal's permission to capture), and a way to tell the user what they lack.
// Without it nothing is kept and what is said goes to standard error only.
struct DisplayServicesHooks {
    std::function<std::string(const std::string& key)> setting; // empty when there is none
    std::function<void(const std::string& key, const std::string& value)> keepSetting;
    std::function<void(const std::string& title, const std::string& text)> tellUser;
};
void SetDisplayServicesHooks(DisplayServicesHooks hooks);
const DisplayServicesHooks& TheDisplayServicesHooks();

// The process's backend, chosen on first use and kept to the end of the process.
const DisplayBackend& TheDisplayBackend();

// The X server named by $DISPLAY.
const DisplayBackend& X11DisplayBackend();

// The Wayland compositor's screen copy; null, with why, where the compositor offers none.
const DisplayBackend* WaylandDisplayBackend(std::string& why);

// The desktop portal's screen cast, which may ask the user first; null, with why, where it is
// missing, refused or broken (why is empty where there is no session bus to ask on).
const DisplayBackend* PortalDisplayBackend(std::string& why);

} // namespace platform::coregraphics
