// The pixels of a Wayland compositor through its screen copy: the rectangle's part on the output
// it mostly lies on, copied by the compositor into shared memory kept between frames, which the
// display image is drawn from directly. The broadcast's rectangle is followed by a damage-aware
// copy, which the compositor makes only once the output has changed: a still screen costs no
// copy, and a changed one has its pixels there by the next look.
#include "platform/quartzdisplay/DisplayBackend.h"
#include "platform/quartzdisplay/ScreenPixels.h"
#include "platform/quartzdisplay/WaylandConnection.h"

#include "wlr-screencopy-unstable-v1-client-protocol.h"

#include <algorithm>
#include <cstdio>
#include <sys/mman.h>
#include <tuple>
#include <unistd.h>
#include <utility>
#include <wayland-client.h>

namespace platform::coregraphics::wayland {

namespace {

// A copy that takes longer than this is given up: a stalled compositor must not stall the caller.
constexpr int kCopyMs = 1000;

// Shared memory the compositor copies into, its buffer, and the display image over its pixels
// once there is one. While anyone else holds the image, its pixels are theirs and the slot is not
// written.
struct Slot {
    void* memory = nullptr;
    size_t size = 0;
    wl_shm_pool* pool = nullptr;
    wl_buffer* buffer = nullptr;
    uint32_t format = 0, width = 0, height = 0, stride = 0; // the buffer's
    CGImageRef image = nullptr;
    // Written by the compositor, or holding pixels not yet handed out.
    bool busy = false;

    bool Free() const { return !busy && (!image || CGImageGetRetainCount(image) == 1); }
    bool Holds(int w, int h) const {
        return image && CGImageGetWidth(image) == size_t(w) && CGImageGetHeight(image) == size_t(h);
    }
    void Forget() {
        CGImageRelease(image);
        image = nullptr;
    }
    void DropBuffer() {
        if (buffer) wl_buffer_destroy(buffer);
        buffer = nullptr;
    }

    // Grows the memory to hold needed bytes.
    bool Reserve(wl_shm* shm, size_t needed) {
        if (needed <= size) return true;
        Forget();
        DropBuffer();
        if (pool) wl_shm_pool_destroy(pool);
        if (memory) ::munmap(memory, size);
        pool = nullptr;
        memory = nullptr;
        size = 0;
        const SharedPixelFile file = MakeSharedPixelFile("vistrel-wayland-capture", needed);
        if (file.fd < 0) return false;
        pool = wl_shm_create_pool(shm, file.fd, int32_t(file.size));
        ::close(file.fd);
        memory = file.memory;
        size = file.size;
        return true;
    }

    // A buffer as the compositor describes it, over memory that also holds reserve bytes.
    wl_buffer* Buffer(wl_shm* shm, uint32_t f, uint32_t w, uint32_t h, uint32_t s, size_t reserve) {
        if (!Reserve(shm, std::max(size_t(s) * h, reserve))) return nullptr;
        if (buffer && std::tie(format, width, height, stride) == std::tie(f, w, h, s))
            return buffer;
        DropBuffer();
        std::tie(format, width, height, stride) = std::tie(f, w, h, s);
        buffer = wl_shm_pool_create_buffer(pool, 0, int32_t(w), int32_t(h), int32_t(s), f);
        return buffer;
    }
};

// What the compositor says about one copy.
struct Frame {
    uint32_t format = 0, width = 0, height = 0, stride = 0, flags = 0;
    bool offered = false, described = false, ready = false, failed = false;
    uint32_t version = 1;
    // A box around the damage reported, in the output's buffer pixels; empty without any.
    uint32_t left = 0, top = 0, right = 0, bottom = 0;
};

bool Opaque32(uint32_t format) {
    return format == WL_SHM_FORMAT_XRGB8888 || format == WL_SHM_FORMAT_ARGB8888;
}

void Offered(void* data, zwlr_screencopy_frame_v1*, uint32_t format, uint32_t width,
             uint32_t height, uint32_t stride) {
    auto& frame = *static_cast<Frame*>(data);
    if (!frame.offered && Opaque32(format)) {
        frame.offered = true;
        std::tie(frame.format, frame.width, frame.height, frame.stride) =
            std::tie(format, width, height, stride);
    }
    // Before version 3 the one shared-memory offer is the whole description.
    if (frame.version < 3) frame.described = true;
}
void Flags(void* data, zwlr_screencopy_frame_v1*, uint32_t flags) {
    static_cast<Frame*>(data)->flags = flags;
}
void Ready(void* data, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {
    static_cast<Frame*>(data)->ready = true;
}
void Failed(void* data, zwlr_screencopy_frame_v1*) {
    static_cast<Frame*>(data)->failed = true;
}
void Damage(void* data, zwlr_screencopy_frame_v1*, uint32_t x, uint32_t y, uint32_t width,
            uint32_t height) {
    auto& frame = *static_cast<Frame*>(data);
    if (width == 0 || height == 0) return;
    const bool first = frame.right == frame.left;
    frame.left = first ? x : std::min(frame.left, x);
    frame.top = first ? y : std::min(frame.top, y);
    frame.right = std::max(first ? 0u : frame.right, x + width);
    frame.bottom = std::max(first ? 0u : frame.bottom, y + height);
}
void DmaBuf(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {}
void Described(void* data, zwlr_screencopy_frame_v1*) {
    static_cast<Frame*>(data)->described = true;
}
const zwlr_screencopy_frame_v1_listener kFrameListener = {Offered, Flags,  Ready,    Failed,
                                                          Damage,  DmaBuf, Described};

bool Await(Connection& c, const Frame& frame, bool Frame::*event) {
    for (int waited = 0; !(frame.*event) && !frame.failed && waited < kCopyMs; waited += 50)
        if (!Dispatch(c, 50)) return false;
    return frame.*event && !frame.failed;
}

// The buffer's pixels made width x height packed opaque rows at its start: a buffer of another
// size (a scaled output's) is sampled at each pixel's centre. Every pixel is read at or after
// where it is written, so the rows move in place.
void Pack(const Slot& slot, bool upsideDown, int width, int height) {
    auto* pixels = static_cast<uint32_t*>(slot.memory);
    const size_t words = slot.stride / 4;
    // An unscaled copy, the usual one, needs no division per pixel.
    const bool scaled = slot.width != uint32_t(width);
    for (int row = 0; row < height; ++row) {
        const size_t from = size_t(row) * slot.height / size_t(height) * words;
        uint32_t* to = pixels + size_t(row) * size_t(width);
        for (size_t column = 0; column < size_t(width); ++column)
            to[column] = pixels[from + (scaled ? column * slot.width / size_t(width) : column)] |
                         0xFF000000u;
    }
    if (upsideDown)
        for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom)
            std::swap_ranges(pixels + size_t(top) * size_t(width),
                             pixels + size_t(top + 1) * size_t(width),
                             pixels + size_t(bottom) * size_t(width));
}

ScreenArea Intersection(const ScreenArea& a, const ScreenArea& b) {
    const int left = std::max(a.left, b.left), top = std::max(a.top, b.top);
    return {left, top, std::max(0, std::min(a.left + a.width, b.left + b.width) - left),
            std::max(0, std::min(a.top + a.height, b.top + b.height) - top)};
}

bool Same(const ScreenArea& a, const ScreenArea& b) {
    return std::tie(a.left, a.top, a.width, a.height) == std::tie(b.left, b.top, b.width, b.height);
}

// The output a rectangle mostly lies on and its part there; no output when it lies on none.
struct Placement {
    const Output* output = nullptr;
    ScreenArea on{0, 0, 0, 0};
};

Placement Place(const Connection& c, const ScreenArea& part) {
    Placement at;
    for (const Output& o : c.outputs) {
        const ScreenArea on = Intersection(part, {o.x, o.y, o.width, o.height});
        if (o.name && int64_t(on.width) * on.height > int64_t(at.on.width) * at.on.height)
            at = {&o, on};
    }
    return at;
}

// Whether the damage a copy reports (in the output's buffer pixels, which may be scaled) reaches
// the part it copied; a copy that reports none may show anything new.
bool DamageReaches(const Frame& frame, const Output& output, const ScreenArea& on) {
    if (frame.right == frame.left) return true;
    const auto buffer = [](int layout, int length, uint32_t pixels) {
        return int64_t(layout) * pixels / std::max(length, 1);
    };
    const int64_t left = buffer(on.left - output.x, on.width, frame.width);
    const int64_t top = buffer(on.top - output.y, on.height, frame.height);
    return frame.left < left + frame.width && left < frame.right &&
           frame.top < top + frame.height && top < frame.bottom;
}

class WaylandDisplays final : public DisplayBackend {
public:
    explicit WaylandDisplays(Connection& c) : mC(c) {}

    ScreenDisplayList Displays() const override {
        const std::lock_guard<std::mutex> hold(mC.lock);
        // Whatever the compositor announced since, at no wait.
        if (!Dispatch(mC, 0)) return {};
        return OutputList(mC);
    }

    ScreenArea Screen() const override { return Bounds(Displays()); }

    CGImageRef CreateImage(const ScreenCapture& capture) const override {
        const std::lock_guard<std::mutex> hold(mC.lock);
        if (!Dispatch(mC, 0)) return nullptr;
        // The output the rectangle mostly lies on; what lies beyond it is cleared.
        const Placement at = Place(mC, capture.part);
        if (!at.output) return nullptr;
        if (at.output->transform != WL_OUTPUT_TRANSFORM_NORMAL) {
            Refuse("a rotated or flipped Wayland output cannot be captured");
            return nullptr;
        }
        // The follower's look found the rectangle changed and its pixels copied already.
        Slot* slot = std::exchange(mWatch.handOver, nullptr);
        if (slot) slot->busy = false;
        if (!slot || !mWatch.Follows(at, capture.image)) {
            slot = Choose(capture.image.width, capture.image.height);
            if (!slot || !Copy(*at.output, at.on, capture.image, *slot)) return nullptr;
            Finish(*slot, at, capture.image);
        }
        if (!slot->image)
            slot->image =
                DisplayImageOver(slot->memory, capture.image.width, capture.image.height, nullptr);
        return CGImageRetain(slot->image);
    }

    // The compositor's buffers are its own: frames are copied out of them.
    bool DrawInPlace(const ScreenCapture&, CGContextRef) const override { return false; }

    // Told by the damage-aware copy of the area, never waited for: until the compositor has made
    // it nothing was drawn, and once made, what its damage reaches was. The first look at an area
    // asks for it; without it (a compositor before version 2) every look may find something new.
    bool Drawn(const ScreenArea& area) const override {
        const std::lock_guard<std::mutex> hold(mC.lock);
        if (Slot* left = std::exchange(mWatch.handOver, nullptr)) left->busy = false;
        if (mC.screenCopyVersion < 2 || !Dispatch(mC, 0)) return true;
        const Placement at = Place(mC, area);
        if (!at.output || at.output->transform != WL_OUTPUT_TRANSFORM_NORMAL) {
            Stop();
            return true;
        }
        if (!mWatch.Follows(at, area) || !mWatch.request || mWatch.frame.failed) {
            Stop();
            mWatch.output = at.output->name;
            mWatch.image = area;
            mWatch.on = at.on;
            Arm(*at.output);
            return true;
        }
        if (!mWatch.frame.ready) return false;
        Slot& copied = *mWatch.slot;
        const bool drawn = DamageReaches(mWatch.frame, *at.output, at.on);
        if (drawn) {
            PackCopy(copied, mWatch.frame, at.on);
            Finish(copied, at, area);
            mWatch.handOver = &copied;
        }
        copied.busy = drawn;
        zwlr_screencopy_frame_v1_destroy(std::exchange(mWatch.request, nullptr));
        mWatch.slot = nullptr;
        Arm(*at.output);
        return drawn;
    }

    // A peek at the damage-aware copy, which takes nothing: a failed or abandoned one may show
    // anything new.
    bool DrawnSinceLast(const ScreenArea& area) const override {
        const std::lock_guard<std::mutex> hold(mC.lock);
        if (mC.screenCopyVersion < 2 || !Dispatch(mC, 0) || !mWatch.request || mWatch.frame.failed)
            return true;
        const Placement at = Place(mC, area);
        if (!at.output || !mWatch.Follows(at, area)) return true;
        return mWatch.frame.ready && DamageReaches(mWatch.frame, *at.output, at.on);
    }

    // The compositor's answer to the damage-aware copy makes the connection readable.
    int DrawingDescriptor() const override {
        const std::lock_guard<std::mutex> hold(mC.lock);
        return mC.screenCopyVersion < 2 || mC.lost ? -1 : wl_display_get_fd(mC.display);
    }

private:
    // The damage-aware copy: the rectangle it follows, the copy asked for and the slot it writes,
    // and a slot whose pixels the next image of the rectangle takes.
    struct Watch {
        uint32_t output = 0; // the registry's name; 0 while nothing is followed
        ScreenArea image{0, 0, 0, 0}, on{0, 0, 0, 0};
        zwlr_screencopy_frame_v1* request = nullptr;
        Frame frame;
        Slot* slot = nullptr;
        Slot* handOver = nullptr;

        bool Follows(const Placement& at, const ScreenArea& area) const {
            return output == at.output->name && Same(image, area) && Same(on, at.on);
        }
    };

    // A free slot ready for an image of this size (a user grab being saved while the broadcast
    // runs takes another one).
    Slot* Choose(int width, int height) const {
        Slot* slot = FreeSlot(mSlots, width, height);
        if (slot && !slot->Holds(width, height)) slot->Forget();
        return slot;
    }

    // Asks the compositor for a copy of the part (on the output) and, once it has described the
    // buffer it wants, gives it the slot's: null when it cannot be given.
    wl_buffer* Ask(const Output& output, const ScreenArea& part, const ScreenArea& image,
                   Slot& slot, Frame& frame, zwlr_screencopy_frame_v1*& request) const {
        frame = Frame{};
        frame.version = mC.screenCopyVersion;
        request = zwlr_screencopy_manager_v1_capture_output_region(
            mC.screenCopy, 0, output.output, part.left - output.x, part.top - output.y, part.width,
            part.height);
        zwlr_screencopy_frame_v1_add_listener(request, &kFrameListener, &frame);
        if (!Await(mC, frame, &Frame::described)) return nullptr;
        if (!frame.offered) {
            Refuse("the Wayland compositor offers no 32-bit shared-memory screen copy");
            return nullptr;
        }
        if (frame.stride / 4 < frame.width || frame.width < uint32_t(part.width) ||
            frame.height < uint32_t(part.height)) {
            // Pack() reads every pixel at or after where it writes it.
            Refuse("a Wayland output scaled below 1 cannot be captured");
            return nullptr;
        }
        const size_t imageBytes = size_t(image.width) * size_t(image.height) * 4;
        return slot.Buffer(mC.shm, frame.format, frame.width, frame.height, frame.stride,
                           imageBytes);
    }

    // The compositor copies the part (on the output) into the slot, packed at its start.
    bool Copy(const Output& output, const ScreenArea& part, const ScreenArea& image,
              Slot& slot) const {
        Frame frame;
        zwlr_screencopy_frame_v1* request = nullptr;
        wl_buffer* buffer = Ask(output, part, image, slot, frame, request);
        if (buffer) zwlr_screencopy_frame_v1_copy(request, buffer);
        const bool copied = buffer && Await(mC, frame, &Frame::ready);
        // A copy given up on may still be written: the image over this memory starts again.
        if (!copied) slot.Forget();
        zwlr_screencopy_frame_v1_destroy(request);
        if (copied) PackCopy(slot, frame, part);
        return copied;
    }

    static void PackCopy(const Slot& slot, const Frame& frame, const ScreenArea& part) {
        Pack(slot, frame.flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT, part.width, part.height);
    }

    // The packed part made the image: what lies beyond its output cleared.
    static void Finish(const Slot& slot, const Placement& at, const ScreenArea& image) {
        ScreenDisplayList shown;
        const Output& o = *at.output;
        shown.displays[0] = {o.name, o.x, o.y, o.width, o.height};
        shown.count = 1;
        Compose({image, at.on, &shown}, static_cast<uint32_t*>(slot.memory));
    }

    // The damage-aware copy of the followed rectangle into a free slot; none when no slot is free
    // or the compositor will not copy, and then the next look says drawn.
    void Arm(const Output& output) const {
        Slot* slot = Choose(mWatch.image.width, mWatch.image.height);
        if (!slot) return;
        wl_buffer* buffer =
            Ask(output, mWatch.on, mWatch.image, *slot, mWatch.frame, mWatch.request);
        if (!buffer) {
            zwlr_screencopy_frame_v1_destroy(std::exchange(mWatch.request, nullptr));
            return;
        }
        zwlr_screencopy_frame_v1_copy_with_damage(mWatch.request, buffer);
        wl_display_flush(mC.display);
        slot->busy = true;
        mWatch.slot = slot;
    }

    // Nothing followed: the copy asked for is withdrawn (the compositor writes nothing of it once
    // it has read that, before any later request into the slot).
    void Stop() const {
        if (mWatch.request) zwlr_screencopy_frame_v1_destroy(mWatch.request);
        if (mWatch.slot) mWatch.slot->busy = false;
        mWatch = Watch{};
    }

    // Said once per process: each frame would say it again.
    static void Refuse(const char* why) {
        static bool sSaid = false;
        if (!std::exchange(sSaid, true)) std::fprintf(stderr, "vistrel: %s\n", why);
    }

    Connection& mC;
    mutable Slot mSlots[4];
    mutable Watch mWatch;
};

} // namespace

} // namespace platform::coregraphics::wayland

namespace platform::coregraphics {

const DisplayBackend* WaylandDisplayBackend(std::string& why) {
    wayland::Connection* c = wayland::TheConnection(why);
    if (!c) return nullptr;
    // Never destroyed, as the connection.
    static const DisplayBackend* const sBackend = new wayland::WaylandDisplays(*c);
    return sBackend;
}

} // namespace platform::coregraphics
