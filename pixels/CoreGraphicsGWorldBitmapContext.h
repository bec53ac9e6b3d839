#pragma once

// The application's bitmap context: a BitmapContext whose pixels the media toolkit also sees as
// an offscreen world. A type of its own, so that BitmapContext has one layout in every program.
#include "pixels/CoreGraphicsBitmapContext.h"
#include "platform/quicktime/QuickTimeOffscreen.h"

namespace CoreGraphics {

class GWorldBitmapContext : public BitmapContext {
public:
    GWorldBitmapContext() = default;
    ~GWorldBitmapContext() override;

    // As BitmapContext's, then the offscreen world over the same pixels; a world that cannot be
    // made is reported and fails the construction.
    bool Construct(int width, int height, BitmapType type, size_t inUseRowBytes = 0);
    void Destruct();

    platform::quicktime::GWorldPtr GetGWorld() const { return mGWorld; }

protected:
    // Wraps the pixels as an offscreen world: 32-bit ARGB for ARGB bitmaps, 8-bit gray otherwise.
    virtual bool ConstructGWorld();

private:
    platform::quicktime::GWorldPtr mGWorld = nullptr; // over the pixels, owns nothing else
};

} // namespace CoreGraphics
