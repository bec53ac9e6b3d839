#include "pixels/CoreGraphicsGWorldBitmapContext.h"

#include "core/CoreVerify.h"

namespace CoreGraphics {

GWorldBitmapContext::~GWorldBitmapContext() {
    Destruct();
}

bool GWorldBitmapContext::Construct(int width, int height, BitmapType type, size_t inUseRowBytes) {
    if (!BitmapContext::Construct(width, height, type, inUseRowBytes)) return false;
    bool fOk;
    // clang-format off
    if (!VERIFY(fOk = VERIFIED(ConstructGWorld())))
        return false;
    // clang-format on
    return true;
}

void GWorldBitmapContext::Destruct() {
    platform::quicktime::DisposeGWorld(mGWorld);
    mGWorld = nullptr;
    BitmapContext::Destruct();
}

bool GWorldBitmapContext::ConstructGWorld() {
    using namespace platform::quicktime;
    const OSType format =
        GetImageType() == BitmapType_Device_ARGB ? k32ARGBPixelFormat : k8IndexedGrayPixelFormat;
    // Wider or taller than the toolkit's 16-bit rectangles cannot be shown to it.
    if (GetImageWidth() > 0x7FFF || GetImageHeight() > 0x7FFF) return false;
    Rect bounds{};
    SetRect(&bounds, 0, 0, int16_t(GetImageWidth()), int16_t(GetImageHeight()));
    return NewGWorldFromPtr(&mGWorld, format, &bounds, nullptr, nullptr, 0,
                            reinterpret_cast<Ptr>(GetImageDataBytes()),
                            long(GetImageRowBytes())) == noErr;
}

} // namespace CoreGraphics
