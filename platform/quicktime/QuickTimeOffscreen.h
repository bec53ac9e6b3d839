#pragma once

// Offscreen graphics worlds over caller memory: the toolkit's view of a block of pixels, so that
// toolkit calls can draw into or read from pixels a bitmap context also owns. Only worlds over
// existing memory are made; the world never frees that memory.
#include "platform/quicktime/QuickTimeTypes.h"

namespace platform::quicktime {

using QDErr = OSErr;
using GWorldFlags = uint32_t;
struct ColorTable;
using CTabHandle = ColorTable**;
struct GDevice;
using GDHandle = GDevice**;

constexpr OSType k32ARGBPixelFormat = 0x00000020;       // bytes A, R, G, B
constexpr OSType k8IndexedGrayPixelFormat = 0x00000028; // one byte, 0 black ... 255 white

struct PixMap {
    Ptr baseAddr;
    long rowBytes;
    Rect bounds;
    OSType pixelFormat;
    int16_t pixelSize; // bits
};
using PixMapPtr = PixMap*;
using PixMapHandle = PixMapPtr*;

struct GWorld;
using GWorldPtr = GWorld*;

// The formats above only; bounds must be non-empty and rowBytes must hold a row of them. A colour
// table, device or flags are not supported (non-null / non-zero: paramErr). On failure the world
// is null.
QT_API QDErr NewGWorldFromPtr(GWorldPtr* offscreenGWorld, OSType pixelFormat,
                              const Rect* boundsRect, CTabHandle cTable, GDHandle aGDevice,
                              GWorldFlags flags, Ptr newBuffer, long rowBytes);
QT_API void DisposeGWorld(GWorldPtr offscreenGWorld);
QT_API PixMapHandle GetGWorldPixMap(GWorldPtr offscreenGWorld);
QT_API Ptr GetPixBaseAddr(PixMapHandle pm);
QT_API long QTGetPixMapHandleRowBytes(PixMapHandle pm);

} // namespace platform::quicktime
