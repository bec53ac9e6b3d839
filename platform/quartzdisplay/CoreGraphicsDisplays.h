#pragma once

// Quartz's display services with their documented names and values, over the display backend
// (DisplayBackend.h): the X11 server named by $DISPLAY (one connection per process, opened on
// first use).
//
// The displays are the server's monitors (RandR 1.5; the Xinerama heads where RandR reports
// fewer monitors than there are heads, as nested servers do), at most kCGMaxDisplays of them.
// The main display is the primary monitor (else the first). Display bounds are in global
// display coordinates: origin at the main display's top-left corner, y growing downwards.
// Identifiers are never 0 and hold for the life of the server: a monitor's name atom, or a
// Xinerama head's index + 1. The online list puts the main display first.
#include "platform/coregraphics/CoreGraphicsDrawing.h"

#include <cstdint>
#include <string>

namespace platform::coregraphics {

using CGDirectDisplayID = uint32_t;
using CGDisplayCount = uint32_t;
using CGOpenGLDisplayMask = uint32_t;
using CGError = int32_t;

constexpr CGDirectDisplayID kCGNullDirectDisplay = 0;
constexpr CGDisplayCount kCGMaxDisplays = 8;

constexpr CGError kCGErrorSuccess = 0;
constexpr CGError kCGErrorFailure = 1000;
constexpr CGError kCGErrorIllegalArgument = 1001;
constexpr CGError kCGErrorCannotComplete = 1004;

// Fills up to maxDisplays identifiers (null list: only the count). No X server: failure, none.
CGError CGGetOnlineDisplayList(CGDisplayCount maxDisplays, CGDirectDisplayID* onlineDisplays,
                               CGDisplayCount* displayCount);
// kCGNullDirectDisplay when there is no X server.
CGDirectDisplayID CGMainDisplayID();
// An unknown display has empty bounds at the origin.
CGRect CGDisplayBounds(CGDirectDisplayID display);
size_t CGDisplayPixelsWide(CGDirectDisplayID display);
size_t CGDisplayPixelsHigh(CGDirectDisplayID display);
// One bit per display, in the order of the online list; 0 for an unknown display.
CGOpenGLDisplayMask CGDisplayIDToOpenGLDisplayMask(CGDirectDisplayID display);

// The display's pixels now, as an opaque image (32 bits a pixel, kCGImageAlphaNoneSkipFirst |
// kCGBitmapByteOrder32Little: bytes B, G, R, X) whose pixels never change while it is held;
// drawn scaled, it is filtered. On a local server the image is drawn straight from the memory
// the server wrote, and a released image's memory serves a later grab. ForRect takes a
// rectangle in the display's own coordinates (top-left origin, y down); the part that lies
// on the display is returned; null when none does, or for an unknown display.
CGImageRef CGDisplayCreateImage(CGDirectDisplayID display);
CGImageRef CGDisplayCreateImageForRect(CGDirectDisplayID display, CGRect rect);

// The screen as the user sees it over a rectangle in global display coordinates, composed from
// every display it covers, as a display image of the whole rectangle (edges rounded outwards);
// what lies on no display is black. Null when no display shows any of it, or for a side longer
// than 32767 pixels. Only the composite of the windows on screen is made: any other list
// option, a window or an image option gives null.
using CGWindowID = uint32_t;
using CGWindowListOption = uint32_t;
using CGWindowImageOption = uint32_t;
constexpr CGWindowID kCGNullWindowID = 0;
constexpr CGWindowListOption kCGWindowListOptionOnScreenOnly = 1u << 0;
constexpr CGWindowImageOption kCGWindowImageDefault = 0;
CGImageRef CGWindowListCreateImage(CGRect screenBounds, CGWindowListOption listOption,
                                   CGWindowID windowID, CGWindowImageOption imageOption);
// The same composite drawn over the whole of a bitmap context of exactly its size, the same
// pixels CGContextDrawImage of that image gives, with the server writing them straight into the
// context's memory and the conversion to the context's layout done there. True only where the
// server can write there (an X server: a shared mapping of a file it can attach as well, on a
// local server with MIT-SHM 1.2; a screen cast: packed 32-bit rows); false otherwise, or for
// another size, and the context's pixels are then undefined.
bool CGWindowListDrawImageInPlace(CGRect screenBounds, CGContextRef context);

// Why the last display image or draw this thread asked for failed, in plain words, where the
// desktop said why (a monitor's screen cast that ended); empty otherwise.
std::string CGDisplayImageProblem();

// Window levels: the platform's keys and the levels they stand for.
using CGWindowLevel = int32_t;
using CGWindowLevelKey = int32_t;
enum : CGWindowLevelKey {
    kCGBaseWindowLevelKey = 0,
    kCGMinimumWindowLevelKey = 1,
    kCGDesktopWindowLevelKey = 2,
    kCGBackstopMenuLevelKey = 3,
    kCGNormalWindowLevelKey = 4,
    kCGFloatingWindowLevelKey = 5,
    kCGTornOffMenuWindowLevelKey = 6,
    kCGDockWindowLevelKey = 7,
    kCGMainMenuWindowLevelKey = 8,
    kCGStatusWindowLevelKey = 9,
    kCGModalPanelWindowLevelKey = 10,
    kCGPopUpMenuWindowLevelKey = 11,
    kCGDraggingWindowLevelKey = 12,
    kCGScreenSaverWindowLevelKey = 13,
    kCGMaximumWindowLevelKey = 14,
    kCGOverlayWindowLevelKey = 15,
    kCGHelpWindowLevelKey = 16,
    kCGUtilityWindowLevelKey = 17,
    kCGDesktopIconWindowLevelKey = 18,
    kCGCursorWindowLevelKey = 19,
    kCGAssistiveTechHighWindowLevelKey = 20,
    kCGNumberOfWindowLevelKeys = 21,
};
// An unknown key gives the normal level.
CGWindowLevel CGWindowLevelForKey(CGWindowLevelKey key);

} // namespace platform::coregraphics
