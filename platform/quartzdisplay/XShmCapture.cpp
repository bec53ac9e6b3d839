#include "platform/quartzdisplay/XCapture.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>
#include <xcb/shm.h>

namespace platform::coregraphics::x11 {

namespace {

// A memory file the server maps too, and the display image over its pixels once there is one.
// The image is held by the slot; while anyone else holds it too, its pixels are theirs and the
// slot is not written.
struct Slot {
    xcb_shm_seg_t id = 0;
    void* memory = nullptr;
    size_t size = 0;
    CGImageRef image = nullptr;

    bool Free() const { return !image || CGImageGetRetainCount(image) == 1; }
    bool Holds(int width, int height) const {
        return image && CGImageGetWidth(image) == size_t(width) &&
               CGImageGetHeight(image) == size_t(height);
    }

    void Forget() {
        CGImageRelease(image);
        image = nullptr;
    }

    void Drop(xcb_connection_t* c) {
        Forget();
        if (!memory) return;
        xcb_shm_detach(c, id);
        ::munmap(memory, size);
        memory = nullptr;
        size = 0;
    }

    // Grows the segment to hold needed bytes; false with refused set when the server will not
    // attach one.
    bool Reserve(xcb_connection_t* c, size_t needed, bool& refused) {
        if (needed <= size) return true;
        Drop(c);
        const SharedPixelFile file = MakeSharedPixelFile("vistrel-display-capture", needed);
        if (file.fd < 0) return false;
        const xcb_shm_seg_t segment = xcb_generate_id(c);
        // The request takes the descriptor and closes it once sent.
        xcb_generic_error_t* error =
            xcb_request_check(c, xcb_shm_attach_fd_checked(c, segment, file.fd, 0));
        if (error) {
            std::free(error);
            ::munmap(file.memory, file.size);
            refused = true;
            return false;
        }
        id = segment;
        memory = file.memory;
        size = file.size;
        return true;
    }

    // The server writes width x height pixels at (left, top) of the root window into the
    // segment, rows packed; true once they are there. The segment holds at least reserve bytes.
    bool Fill(const Connection& x, int left, int top, int width, int height, size_t reserve,
              bool& refused) {
        const size_t bytes = size_t(width) * size_t(height) * 4;
        if (!Reserve(x.connection, std::max(bytes, reserve), refused)) return false;
        xcb_connection_t* c = x.connection;
        std::unique_ptr<xcb_shm_get_image_reply_t, decltype(&std::free)> reply(
            xcb_shm_get_image_reply(c,
                                    xcb_shm_get_image(c, x.root, int16_t(left), int16_t(top),
                                                      uint16_t(width), uint16_t(height), ~0u,
                                                      XCB_IMAGE_FORMAT_Z_PIXMAP, id, 0),
                                    nullptr),
            &std::free);
        return reply && reply->size == bytes;
    }
};

// A few slots: a grab whose image is still held elsewhere (a user grab being saved while the
// broadcast runs) takes another slot rather than waiting or copying. Captures take turns.
struct Pool {
    std::mutex lock;
    Slot slots[4];
    bool refused = false;

    // A free slot, best one already holding an image of this size, else the smallest one large
    // enough, else any; null when every slot's image is held elsewhere.
    Slot* Choose(int width, int height) {
        const size_t bytes = size_t(width) * size_t(height) * 4;
        Slot* best = nullptr;
        auto rank = [&](const Slot& s) {
            return s.Holds(width, height) ? 0 : s.size >= bytes ? 1 : 2;
        };
        for (Slot& slot : slots) {
            if (!slot.Free()) continue;
            if (!best || rank(slot) < rank(*best) ||
                (rank(slot) == 1 && rank(*best) == 1 && slot.size < best->size))
                best = &slot;
        }
        return best;
    }
};

Pool& ThePool() {
    static Pool* const sPool = new Pool;
    return *sPool;
}

} // namespace

bool ReadBySharedMemory(const Connection& x, int left, int top, int width, int height,
                        uint32_t* out) {
    Pool& pool = ThePool();
    const std::lock_guard<std::mutex> hold(pool.lock);
    Slot* slot = pool.refused ? nullptr : pool.Choose(width, height);
    if (!slot || !slot->Fill(x, left, top, width, height, 0, pool.refused)) return false;
    CopyOpaque(static_cast<const uint8_t*>(slot->memory), out, size_t(width) * size_t(height));
    return true;
}

CGImageRef CreateImageBySharedMemory(const Connection& x, const Capture& capture) {
    const int width = capture.image.width, height = capture.image.height;
    const Area& part = capture.part;
    Pool& pool = ThePool();
    const std::lock_guard<std::mutex> hold(pool.lock);
    Slot* slot = pool.refused ? nullptr : pool.Choose(width, height);
    if (!slot) return nullptr;
    if (!slot->Holds(width, height)) slot->Forget();
    if (!slot->Fill(x, part.left, part.top, part.width, part.height,
                    size_t(width) * size_t(height) * 4, pool.refused))
        return nullptr;
    Compose(capture, static_cast<uint32_t*>(slot->memory));
    if (!slot->image) slot->image = DisplayImageOver(slot->memory, width, height, nullptr);
    return CGImageRetain(slot->image);
}

} // namespace platform::coregraphics::x11
