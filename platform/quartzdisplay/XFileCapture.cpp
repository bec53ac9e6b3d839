// The server writing a capture straight into a file this process has mapped shared (the camera
// channel's frame buffers): the whole file is attached once as a segment and each capture names
// its byte offset there, so the buffers need no page alignment of their own.
#include "platform/quartzdisplay/XCapture.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <xcb/shm.h>

namespace platform::coregraphics::x11 {

namespace {

// A writable shared mapping of a file, as the kernel lists it.
struct MappedFile {
    dev_t device = 0;
    ino_t inode = 0;
    uintptr_t start = 0, end = 0;
    uint64_t offset = 0; // of start, in the file
    std::string path;

    bool Covers(uintptr_t from, uintptr_t to) const { return start <= from && to <= end; }
    // Still the file at its path; a replaced or removed one is not.
    bool AtPath() const {
        struct stat now;
        return ::stat(path.c_str(), &now) == 0 && now.st_dev == device && now.st_ino == inode;
    }
};

// The mapping that holds [from, to); none when it is no writable shared mapping of a named file.
std::optional<MappedFile> FileMappedAt(uintptr_t from, uintptr_t to) {
    std::unique_ptr<FILE, decltype(&std::fclose)> maps(std::fopen("/proc/self/maps", "re"),
                                                       &std::fclose);
    if (!maps) return std::nullopt;
    char line[4096 + 128];
    while (std::fgets(line, sizeof line, maps.get())) {
        uintptr_t start, end;
        uint64_t offset, inode;
        unsigned major, minor;
        char perms[5];
        int pathAt = 0;
        if (std::sscanf(line, "%" SCNxPTR "-%" SCNxPTR " %4s %" SCNx64 " %x:%x %" SCNu64 " %n",
                        &start, &end, perms, &offset, &major, &minor, &inode, &pathAt) < 7 ||
            from < start || from >= end)
            continue;
        std::string path(line + pathAt);
        if (!path.empty() && path.back() == '\n') path.pop_back();
        // A removed file shows as "path (deleted)", which names nothing to open.
        if (to > end || perms[1] != 'w' || perms[3] != 's' || inode == 0 || path.empty() ||
            path[0] != '/')
            return std::nullopt;
        return MappedFile{makedev(major, minor), ino_t(inode), start, end, offset, path};
    }
    return std::nullopt;
}

// The file attached last; captures take turns.
struct Attached {
    std::mutex lock;
    MappedFile file;
    xcb_shm_seg_t id = 0;
    bool refused = false;

    void Detach(xcb_connection_t* c) {
        if (id) xcb_shm_detach(c, id);
        id = 0;
    }

    // The segment of the file mapped at [from, to), attached once per file.
    bool Over(xcb_connection_t* c, uintptr_t from, uintptr_t to) {
        if (id && file.Covers(from, to) && file.AtPath()) return true;
        const std::optional<MappedFile> found = FileMappedAt(from, to);
        if (!found || !found->AtPath()) return false;
        Detach(c);
        const int fd = ::open(found->path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        struct stat opened;
        if (fd < 0 || ::fstat(fd, &opened) != 0 || opened.st_dev != found->device ||
            opened.st_ino != found->inode) {
            if (fd >= 0) ::close(fd);
            return false;
        }
        const xcb_shm_seg_t segment = xcb_generate_id(c);
        // The request takes the descriptor and closes it once sent.
        if (xcb_generic_error_t* error =
                xcb_request_check(c, xcb_shm_attach_fd_checked(c, segment, fd, 0))) {
            std::free(error);
            refused = true;
            return false;
        }
        file = *found;
        id = segment;
        return true;
    }
};

Attached& TheAttached() {
    static Attached* const sAttached = new Attached;
    return *sAttached;
}

} // namespace

bool ReadIntoMappedFile(const Connection& x, const Capture& capture, uint8_t* pixels) {
    const Area& part = capture.part;
    const size_t bytes = size_t(capture.image.width) * size_t(capture.image.height) * 4;
    const auto from = reinterpret_cast<uintptr_t>(pixels);
    Attached& attached = TheAttached();
    const std::lock_guard<std::mutex> hold(attached.lock);
    if (attached.refused || !attached.Over(x.connection, from, from + bytes)) return false;
    const uint64_t offset = attached.file.offset + (from - attached.file.start);
    if (offset > UINT32_MAX) return false;
    xcb_connection_t* c = x.connection;
    std::unique_ptr<xcb_shm_get_image_reply_t, decltype(&std::free)> reply(
        xcb_shm_get_image_reply(c,
                                xcb_shm_get_image(c, x.root, int16_t(part.left), int16_t(part.top),
                                                  uint16_t(part.width), uint16_t(part.height), ~0u,
                                                  XCB_IMAGE_FORMAT_Z_PIXMAP, attached.id,
                                                  uint32_t(offset)),
                                nullptr),
        &std::free);
    return reply && reply->size == size_t(part.width) * size_t(part.height) * 4;
}

} // namespace platform::coregraphics::x11
