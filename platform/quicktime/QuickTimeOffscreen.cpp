#include "platform/quicktime/QuickTimeOffscreen.h"

#include <new>

namespace platform::quicktime {

struct GWorld {
    PixMap pixMap;
    PixMapPtr pixMapPointer; // what the handle points at
};

namespace {

int16_t BitsPerPixel(OSType pixelFormat) {
    switch (pixelFormat) {
    case k32ARGBPixelFormat:
        return 32;
    case k8IndexedGrayPixelFormat:
        return 8;
    default:
        return 0;
    }
}

} // namespace

QDErr NewGWorldFromPtr(GWorldPtr* offscreenGWorld, OSType pixelFormat, const Rect* boundsRect,
                       CTabHandle cTable, GDHandle aGDevice, GWorldFlags flags, Ptr newBuffer,
                       long rowBytes) {
    if (!offscreenGWorld) return paramErr;
    *offscreenGWorld = nullptr;
    const int16_t bits = BitsPerPixel(pixelFormat);
    if (!bits || !boundsRect || EmptyRect(boundsRect) || cTable || aGDevice || flags || !newBuffer)
        return paramErr;
    if (rowBytes < long(boundsRect->right - boundsRect->left) * (bits / 8)) return paramErr;
    GWorld* world = new (std::nothrow) GWorld{};
    if (!world) return memFullErr;
    world->pixMap = PixMap{newBuffer, rowBytes, *boundsRect, pixelFormat, bits};
    world->pixMapPointer = &world->pixMap;
    *offscreenGWorld = world;
    return noErr;
}

void DisposeGWorld(GWorldPtr offscreenGWorld) {
    delete offscreenGWorld;
}

PixMapHandle GetGWorldPixMap(GWorldPtr offscreenGWorld) {
    return offscreenGWorld ? &offscreenGWorld->pixMapPointer : nullptr;
}

Ptr GetPixBaseAddr(PixMapHandle pm) {
    return pm && *pm ? (*pm)->baseAddr : nullptr;
}

long QTGetPixMapHandleRowBytes(PixMapHandle pm) {
    return pm && *pm ? (*pm)->rowBytes : 0;
}

} // namespace platform::quicktime
