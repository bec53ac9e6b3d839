#include "platform/quartzdisplay/XCapture.h"

#include <cstdlib>
#include <memory>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>
#include <xcb/shm.h>

namespace platform::coregraphics::x11 {

namespace {

// One segment for the process, grown to the largest grab so far; captures take turns on it.
struct Segment {
    std::mutex lock;
    xcb_shm_seg_t id = 0;
    void* memory = nullptr;
    size_t size = 0;
    bool refused = false;

    void Drop(xcb_connection_t* c) {
        if (!memory) return;
        xcb_shm_detach(c, id);
        ::munmap(memory, size);
        memory = nullptr;
        size = 0;
    }

    // A memory file the server maps too; it keeps its own reference to the file.
    bool Reserve(xcb_connection_t* c, size_t needed) {
        if (needed <= size) return true;
        Drop(c);
        const size_t grown = (needed + 0xFFFF) & ~size_t(0xFFFF);
        const int fd = ::memfd_create("vistrel-display-capture", MFD_CLOEXEC);
        if (fd < 0) return false;
        void* mapped = MAP_FAILED;
        if (::ftruncate(fd, off_t(grown)) == 0)
            mapped = ::mmap(nullptr, grown, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (mapped == MAP_FAILED) {
            ::close(fd);
            return false;
        }
        const xcb_shm_seg_t segment = xcb_generate_id(c);
        // The request takes the descriptor and closes it once sent.
        xcb_generic_error_t* error =
            xcb_request_check(c, xcb_shm_attach_fd_checked(c, segment, fd, 0));
        if (error) {
            std::free(error);
            ::munmap(mapped, grown);
            refused = true;
            return false;
        }
        id = segment;
        memory = mapped;
        size = grown;
        return true;
    }
};

Segment& TheSegment() {
    static Segment* const sSegment = new Segment;
    return *sSegment;
}

} // namespace

bool ReadBySharedMemory(const Connection& x, int left, int top, int width, int height,
                        uint32_t* out) {
    Segment& segment = TheSegment();
    const std::lock_guard<std::mutex> hold(segment.lock);
    const size_t bytes = size_t(width) * size_t(height) * 4;
    if (segment.refused || !segment.Reserve(x.connection, bytes)) return false;
    xcb_connection_t* c = x.connection;
    std::unique_ptr<xcb_shm_get_image_reply_t, decltype(&std::free)> reply(
        xcb_shm_get_image_reply(c,
                                xcb_shm_get_image(c, x.root, int16_t(left), int16_t(top),
                                                  uint16_t(width), uint16_t(height), ~0u,
                                                  XCB_IMAGE_FORMAT_Z_PIXMAP, segment.id, 0),
                                nullptr),
        &std::free);
    if (!reply || reply->size != bytes) return false;
    CopyOpaque(static_cast<const uint8_t*>(segment.memory), out, bytes / 4);
    return true;
}

} // namespace platform::coregraphics::x11
