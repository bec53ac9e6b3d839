// The displays and pixels of the X server. A local server writes the pixels into a shared
// segment the image is drawn from directly, or straight into a context's memory that is a shared
// file mapping; otherwise they are copied out of image replies.
#include "platform/quartzdisplay/DisplayBackend.h"
#include "platform/quartzdisplay/XCapture.h"
#include "platform/quartzdisplay/XDisplayList.h"
#include "platform/quartzdisplay/XEvents.h"

#include <cstdlib>
#include <cstring>

namespace platform::coregraphics::x11 {

namespace {

// Tests and benchmarks set VISTREL_X11_NO_SHM=1 to take the path a remote display takes.
bool SharedMemoryWanted(const Connection& x) {
    const char* off = std::getenv("VISTREL_X11_NO_SHM");
    return x.sharedMemory && !(off && std::strcmp(off, "1") == 0);
}

void FreePixels(void*, const void* data, size_t) {
    std::free(const_cast<void*>(data));
}

// An opaque image that owns a copy of the captured pixels.
CGImageRef CopyImage(const Connection& x, const Capture& capture) {
    const Area &area = capture.image, &part = capture.part;
    const size_t rowBytes = size_t(area.width) * 4, bytes = rowBytes * size_t(area.height);
    auto* pixels = static_cast<uint32_t*>(std::malloc(bytes));
    if (!pixels) return nullptr;
    const bool read =
        (SharedMemoryWanted(x) &&
         ReadBySharedMemory(x, part.left, part.top, part.width, part.height, pixels)) ||
        ReadByGetImage(x, part.left, part.top, part.width, part.height, pixels);
    if (!read) {
        std::free(pixels);
        return nullptr;
    }
    Compose(capture, pixels);
    return DisplayImageOver(pixels, area.width, area.height, FreePixels);
}

class X11Displays final : public DisplayBackend {
public:
    ScreenDisplayList Displays() const override {
        const Connection* x = TheConnection();
        return x ? OnlineDisplayList(*x) : ScreenDisplayList{};
    }

    ScreenArea Screen() const override {
        const Connection* x = TheConnection();
        return x ? ScreenArea{0, 0, x->rootWidth, x->rootHeight} : ScreenArea{0, 0, 0, 0};
    }

    CGImageRef CreateImage(const ScreenCapture& capture) const override {
        const Connection* x = TheConnection();
        if (!x || !x->capturable) return nullptr;
        if (SharedMemoryWanted(*x))
            if (CGImageRef image = CreateImageBySharedMemory(*x, capture)) return image;
        return CopyImage(*x, capture);
    }

    bool DrawInPlace(const ScreenCapture& capture, CGContextRef context) const override {
        const Connection* x = TheConnection();
        const int width = capture.image.width, height = capture.image.height;
        uint8_t* pixels = InPlacePixels(context, width);
        if (!x || !x->capturable || !SharedMemoryWanted(*x) || !pixels ||
            !ReadIntoMappedFile(*x, capture, pixels))
            return false;
        Compose(capture, reinterpret_cast<uint32_t*>(pixels));
        return ConvertInPlace(context, width, height);
    }

    bool Drawn(const ScreenArea& area) const override {
        const Connection* x = TheConnection();
        return !x || TakeDrawingOver(*x, area);
    }

    bool DrawnSinceLast(const ScreenArea& area) const override {
        const Connection* x = TheConnection();
        return !x || DrawingOverSinceTake(*x, area);
    }

    int DrawingDescriptor() const override {
        const Connection* x = TheConnection();
        return x ? x11::DrawingDescriptor(*x) : -1;
    }
};

} // namespace

} // namespace platform::coregraphics::x11

namespace platform::coregraphics {

const DisplayBackend& X11DisplayBackend() {
    // Never destroyed: captures on other threads may still be using it during the exit.
    static const DisplayBackend* const sBackend = new x11::X11Displays;
    return *sBackend;
}

} // namespace platform::coregraphics
