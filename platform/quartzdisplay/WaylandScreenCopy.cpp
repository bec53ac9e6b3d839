// The pixels of a Wayland compositor through its screen copy: the rectangle's part on the output
// it mostly lies on, copied by the compositor into shared memory kept between frames, which the
// display image is drawn from directly.
#include "platform/quartzdisplay/DisplayBackend.h"
#include "platform/quartzdisplay/ScreenPixels.h"
#include "platform/quartzdisplay/WaylandConnection.h"

#include "wlr-screencopy-unstable-v1-client-protocol.h"

#include <algorithm>
#include <cstdio>
#include <sys/mman.h>
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

    bool Free() const { return !image || CGImageGetRetainCount(image) == 1; }
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
void Damage(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t, uint32_t) {}
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

class WaylandDisplays final : public DisplayBackend {
public:
    explicit WaylandDisplays(Connection& c) : mC(c) {}

    ScreenDisplayList Displays() const override {
        const std::lock_guard<std::mutex> hold(mC.lock);
        // Whatever the compositor announced since, at no wait.
        if (!Dispatch(mC, 0)) return {};
        return OutputList(mC);
    }

    ScreenArea Screen() const override {
        const ScreenDisplayList displays = Displays();
        if (displays.empty()) return {0, 0, 0, 0};
        int left = displays[0].x, top = displays[0].y, right = left, bottom = top;
        for (const ScreenDisplay& d : displays) {
            left = std::min(left, d.x);
            top = std::min(top, d.y);
            right = std::max(right, d.x + d.width);
            bottom = std::max(bottom, d.y + d.height);
        }
        return {left, top, right - left, bottom - top};
    }

    CGImageRef CreateImage(const ScreenCapture& capture) const override {
        const std::lock_guard<std::mutex> hold(mC.lock);
        if (!Dispatch(mC, 0)) return nullptr;
        // The output the rectangle mostly lies on; what lies beyond it is cleared.
        const Output* best = nullptr;
        ScreenArea part{0, 0, 0, 0};
        for (const Output& o : mC.outputs) {
            const ScreenArea on = Intersection(capture.part, {o.x, o.y, o.width, o.height});
            if (o.name && int64_t(on.width) * on.height > int64_t(part.width) * part.height)
                best = &o, part = on;
        }
        if (!best) return nullptr;
        if (best->transform != WL_OUTPUT_TRANSFORM_NORMAL) {
            Refuse("a rotated or flipped Wayland output cannot be captured");
            return nullptr;
        }
        Slot* slot = Choose(capture.image.width, capture.image.height);
        if (!slot || !Copy(*best, part, capture.image, *slot)) return nullptr;
        ScreenDisplayList shown;
        shown.displays[0] = {best->name, best->x, best->y, best->width, best->height};
        shown.count = 1;
        Compose({capture.image, part, &shown}, static_cast<uint32_t*>(slot->memory));
        if (!slot->image)
            slot->image =
                DisplayImageOver(slot->memory, capture.image.width, capture.image.height, nullptr);
        return CGImageRetain(slot->image);
    }

    // The compositor's buffers are its own: frames are copied out of them.
    bool DrawInPlace(const ScreenCapture&, CGContextRef) const override { return false; }

    // Screen copies are asked for whole: every look may find something new.
    bool Drawn(const ScreenArea&) const override { return true; }

private:
    // A free slot, best one already holding an image of this size; null when every slot's image
    // is held elsewhere (a user grab being saved while the broadcast runs takes another slot).
    Slot* Choose(int width, int height) const {
        Slot* best = nullptr;
        for (Slot& slot : mSlots)
            if (slot.Free() &&
                (!best || (slot.Holds(width, height) && !best->Holds(width, height))))
                best = &slot;
        if (best && !best->Holds(width, height)) best->Forget();
        return best;
    }

    // The compositor copies the part (on the output) into the slot, packed at its start.
    bool Copy(const Output& output, const ScreenArea& part, const ScreenArea& image,
              Slot& slot) const {
        Frame frame;
        frame.version = mC.screenCopyVersion;
        zwlr_screencopy_frame_v1* request = zwlr_screencopy_manager_v1_capture_output_region(
            mC.screenCopy, 0, output.output, part.left - output.x, part.top - output.y, part.width,
            part.height);
        zwlr_screencopy_frame_v1_add_listener(request, &kFrameListener, &frame);
        bool copied = Await(mC, frame, &Frame::described);
        if (copied && !frame.offered) {
            Refuse("the Wayland compositor offers no 32-bit shared-memory screen copy");
            copied = false;
        } else if (copied &&
                   (frame.stride / 4 < frame.width || frame.width < uint32_t(part.width) ||
                    frame.height < uint32_t(part.height))) {
            // Pack() reads every pixel at or after where it writes it.
            Refuse("a Wayland output scaled below 1 cannot be captured");
            copied = false;
        }
        const size_t imageBytes = size_t(image.width) * size_t(image.height) * 4;
        wl_buffer* buffer = copied ? slot.Buffer(mC.shm, frame.format, frame.width, frame.height,
                                                 frame.stride, imageBytes)
                                   : nullptr;
        if (buffer) zwlr_screencopy_frame_v1_copy(request, buffer);
        copied = buffer && Await(mC, frame, &Frame::ready);
        // A copy given up on may still be written: the image over this memory starts again.
        if (!copied) slot.Forget();
        zwlr_screencopy_frame_v1_destroy(request);
        if (copied)
            Pack(slot, frame.flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT, part.width,
                 part.height);
        return copied;
    }

    // Said once per process: each frame would say it again.
    static void Refuse(const char* why) {
        static bool sSaid = false;
        if (!std::exchange(sSaid, true)) std::fprintf(stderr, "vistrel: %s\n", why);
    }

    Connection& mC;
    mutable Slot mSlots[4];
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
