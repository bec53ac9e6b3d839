// The pixels of a Wayland desktop through its portal's screen cast: the displays are the cast
// monitors at their places in the compositor's layout, and a rectangle is read from the newest
// frame of the monitor it mostly lies on, into memory kept between frames.
#include "platform/quartzdisplay/DisplayBackend.h"
#include "platform/quartzdisplay/PipeWireFrames.h"
#include "platform/quartzdisplay/PortalScreenCast.h"
#include "platform/quartzdisplay/ScreenPixels.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

namespace platform::coregraphics::portal {

namespace {

// Pixels kept between grabs and the display image over them. While anyone else holds the image,
// the pixels are theirs and the slot is not written.
struct Slot {
    std::unique_ptr<uint32_t[]> pixels;
    size_t capacity = 0;
    CGImageRef image = nullptr;

    bool Free() const { return !image || CGImageGetRetainCount(image) == 1; }
    bool Holds(int w, int h) const {
        return image && CGImageGetWidth(image) == size_t(w) && CGImageGetHeight(image) == size_t(h);
    }
    // Ready for an image of this size, its memory grown only when too small.
    void Prepare(int w, int h) {
        if (Holds(w, h)) return;
        CGImageRelease(image);
        image = nullptr;
        const size_t needed = size_t(w) * size_t(h);
        if (needed > capacity) {
            pixels = std::make_unique<uint32_t[]>(needed);
            capacity = needed;
        }
    }
};

class PortalDisplays final : public DisplayBackend {
public:
    PortalDisplays(std::shared_ptr<void> session, std::unique_ptr<PipeWireFrames> frames,
                   size_t streams, const ScreenDisplayList& displays)
        : mSession(std::move(session)), mFrames(std::move(frames)), mDisplays(displays),
          mSeen(streams) {}

    ScreenDisplayList Displays() const override { return mDisplays; }
    ScreenArea Screen() const override { return Bounds(mDisplays); }

    CGImageRef CreateImage(const ScreenCapture& capture) const override {
        const std::lock_guard<std::mutex> hold(mSlotsLock);
        ScreenArea on;
        const ScreenDisplay* display = MostlyOn(mDisplays, capture.part, on);
        Slot* slot = FreeSlot(mSlots, capture.image.width, capture.image.height);
        if (!display || !slot) return nullptr;
        slot->Prepare(capture.image.width, capture.image.height);
        if (!Read(*display, on, capture.image, slot->pixels.get())) {
            CGImageRelease(slot->image);
            slot->image = nullptr;
            return nullptr;
        }
        if (!slot->image)
            slot->image = DisplayImageOver(slot->pixels.get(), capture.image.width,
                                           capture.image.height, nullptr);
        return CGImageRetain(slot->image);
    }

    // The frame's pixels are read straight into the context's memory.
    bool DrawInPlace(const ScreenCapture& capture, CGContextRef context) const override {
        const int width = capture.image.width, height = capture.image.height;
        uint8_t* pixels = InPlacePixels(context, width);
        ScreenArea on;
        const ScreenDisplay* display = MostlyOn(mDisplays, capture.part, on);
        return pixels && display &&
               Read(*display, on, capture.image, reinterpret_cast<uint32_t*>(pixels)) &&
               ConvertInPlace(context, width, height);
    }

    // A monitor's stream brings a frame when something on it was drawn.
    bool Drawn(const ScreenArea& area) const override {
        bool drawn = false;
        for (const ScreenDisplay& d : mDisplays) {
            if (area.left >= d.x + d.width || d.x >= area.left + area.width ||
                area.top >= d.y + d.height || d.y >= area.top + area.height)
                continue;
            const uint64_t frames = mFrames->Frames(d.id - 1);
            drawn |= mSeen[d.id - 1].exchange(frames) != frames;
        }
        return drawn;
    }

private:
    // The piece on the display read into the image's pixels, the rest of the image cleared.
    bool Read(const ScreenDisplay& display, const ScreenArea& on, const ScreenArea& image,
              uint32_t* pixels) const {
        std::string why;
        if (!mFrames->Read(display.id - 1, display, on, pixels, why)) {
            Say(why);
            SetDisplayImageProblem(why);
            return false;
        }
        ScreenDisplayList shown;
        shown.displays[0] = display;
        shown.count = 1;
        Compose({image, on, &shown}, pixels);
        return true;
    }

    // Each failure once: every frame would say it again.
    void Say(const std::string& why) const {
        const std::lock_guard<std::mutex> hold(mSaidLock);
        if (mSaid.insert(why).second)
            std::fprintf(stderr, "vistrel: nothing can be grabbed: %s\n", why.c_str());
    }

    std::shared_ptr<void> mSession;
    std::unique_ptr<PipeWireFrames> mFrames;
    const ScreenDisplayList mDisplays;
    mutable std::vector<std::atomic<uint64_t>> mSeen; // frames of each stream at the last look
    mutable std::mutex mSlotsLock, mSaidLock;
    mutable Slot mSlots[4];
    mutable std::set<std::string> mSaid;
};

// The cast started and its streams running, or null with why.
const DisplayBackend* Open(std::string& why) {
    ScreenCast cast;
    if (!StartScreenCast(cast, why)) return nullptr;
    std::vector<uint32_t> nodes;
    for (const Stream& stream : cast.streams)
        nodes.push_back(stream.node);
    auto frames = std::make_unique<PipeWireFrames>();
    const bool started = frames->Start(std::exchange(cast.remote, -1), nodes, why);
    if (!started) return nullptr;
    // A stream the portal gave no size shows the layout's pixels one for one.
    for (size_t i = 0; i < cast.streams.size(); ++i)
        if (cast.streams[i].width <= 0 || cast.streams[i].height <= 0)
            frames->Size(i, cast.streams[i].width, cast.streams[i].height);
    const ScreenDisplayList displays = PlaceStreams(cast.streams);
    return new PortalDisplays(cast.session, std::move(frames), nodes.size(), displays);
}

} // namespace

} // namespace platform::coregraphics::portal

namespace platform::coregraphics {

const DisplayBackend* PortalDisplayBackend(std::string& why) {
    // Never destroyed: captures on other threads may still be using it during the exit.
    static std::string sWhy;
    static const DisplayBackend* const sBackend = portal::Open(sWhy);
    why = sWhy;
    return sBackend;
}

} // namespace platform::coregraphics
