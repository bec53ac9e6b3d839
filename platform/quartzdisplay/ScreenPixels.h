#pragma once

// The pixels every display backend gives: the layout of display images and the steps from the
// pixels a backend read to the image.
#include "platform/quartzdisplay/DisplayBackend.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace platform::coregraphics {

// Display images hold 32-bit little-endian words 0x??RRGGBB, the padding byte ignored: the X root
// window's and the Wayland compositors' own layout, so that the screen's bytes are the image's.
constexpr CGBitmapInfo kDisplayImageInfo = kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little;

// The padding byte of a 24-bit pixel is undefined: readers get a solid alpha instead.
inline void CopyOpaque(const uint8_t* from, uint32_t* to, size_t pixels) {
    for (size_t i = 0; i < pixels; ++i) {
        uint32_t word;
        std::memcpy(&word, from + 4 * i, 4);
        to[i] = word | 0xFF000000u;
    }
}

// Memory shared with the desktop's server: a file of its own of at least needed bytes (grown in
// 64 KB steps), mapped for reading and writing. fd is the open file, for the server to map too;
// none of it (fd -1) when the file cannot be made or mapped.
struct SharedPixelFile {
    int fd = -1;
    void* memory = nullptr;
    size_t size = 0;
};
SharedPixelFile MakeSharedPixelFile(const char* name, size_t needed);

// A display image over width x height pixels, rows packed; release frees them (none: the
// caller keeps them).
CGImageRef DisplayImageOver(void* pixels, int width, int height,
                            CGDataProviderReleaseDataCallback release);

// The display the part mostly lies on, and the piece of the part on it; null where it lies on none.
// A backend that reads one display at a time reads that one.
const ScreenDisplay* MostlyOn(const ScreenDisplayList& displays, const ScreenArea& part,
                              ScreenArea& on);

// The smallest rectangle that holds every display.
ScreenArea Bounds(const ScreenDisplayList& displays);

// Of the slots a backend keeps images in, a free one, best one already holding an image of this
// size; null when every slot's image is held elsewhere.
template <typename Slots> auto* FreeSlot(Slots& slots, int width, int height) {
    decltype(&slots[0]) best = nullptr;
    for (auto& slot : slots)
        if (slot.Free() && (!best || (slot.Holds(width, height) && !best->Holds(width, height))))
            best = &slot;
    return best;
}

// The memory of a context a backend can write a width-pixel-wide display image into, row for
// row; null where the context's rows are not packed 32-bit pixels.
uint8_t* InPlacePixels(CGContextRef context, int width);

// Converts the display image written into such a context's memory to the context's own layout.
bool ConvertInPlace(CGContextRef context, int width, int height);

// What CGDisplayImageProblem() says on this thread until the next image is asked for.
void SetDisplayImageProblem(const std::string& why);

// Turns the part's pixels, read as packed rows into the first words of pixels (which hold the
// whole image), into the image: every row moved to its place, the uncovered pixels cleared.
void Compose(const ScreenCapture& capture, uint32_t* pixels);

} // namespace platform::coregraphics
