// A native Wayland window whose surface shows one probe colour that changes every period, so
// that a screen reader's frames can tell each change apart. Each change is written to
// standard output as "step seconds" once the compositor has taken it (monotonic clock).
// Usage: wayland_animation <width> <height> <period-ms>; ends with the compositor. Its app_id is
// "vistrel-animation".
#include "bench/ProbeColour.h"

#include "xdg-shell-client-protocol.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

namespace {

// The compositor may hold one buffer shown and one being taken: a third is always free.
constexpr int kBuffers = 3;

struct Window {
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    xdg_wm_base* base = nullptr;
    bool configured = false;
    bool busy[kBuffers] = {};
};

void Global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    auto& w = *static_cast<Window*>(data);
    if (std::strcmp(interface, wl_compositor_interface.name) == 0)
        w.compositor = static_cast<wl_compositor*>(
            wl_registry_bind(registry, name, &wl_compositor_interface, 4));
    else if (std::strcmp(interface, wl_shm_interface.name) == 0)
        w.shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0)
        w.base =
            static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
}
void GlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistry = {Global, GlobalRemove};

void Ping(void*, xdg_wm_base* base, uint32_t serial) {
    xdg_wm_base_pong(base, serial);
}
const xdg_wm_base_listener kBase = {Ping};

void Configure(void* data, xdg_surface* surface, uint32_t serial) {
    xdg_surface_ack_configure(surface, serial);
    static_cast<Window*>(data)->configured = true;
}
const xdg_surface_listener kSurface = {Configure};

void Released(void* data, wl_buffer*) {
    *static_cast<bool*>(data) = false;
}
const wl_buffer_listener kBuffer = {Released};

double Now() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <width> <height> <period-ms>\n", argv[0]);
        return 64;
    }
    const int width = std::atoi(argv[1]), height = std::atoi(argv[2]), period = std::atoi(argv[3]);
    wl_display* display = wl_display_connect(nullptr);
    if (!display || width <= 0 || height <= 0) {
        std::fprintf(stderr, "%s: no Wayland compositor or no size\n", argv[0]);
        return 1;
    }
    Window w;
    wl_registry_add_listener(wl_display_get_registry(display), &kRegistry, &w);
    wl_display_roundtrip(display);
    if (!w.compositor || !w.shm || !w.base) {
        std::fprintf(stderr, "%s: the compositor lacks a global this needs\n", argv[0]);
        return 1;
    }
    xdg_wm_base_add_listener(w.base, &kBase, nullptr);
    wl_surface* surface = wl_compositor_create_surface(w.compositor);
    xdg_surface* shell = xdg_wm_base_get_xdg_surface(w.base, surface);
    xdg_surface_add_listener(shell, &kSurface, &w);
    xdg_toplevel* toplevel = xdg_surface_get_toplevel(shell);
    xdg_toplevel_set_app_id(toplevel, "vistrel-animation");
    wl_surface_commit(surface);
    while (!w.configured)
        if (wl_display_dispatch(display) < 0) return 1;

    const size_t bytes = size_t(width) * size_t(height) * 4;
    const int fd = ::memfd_create("vistrel-animation", MFD_CLOEXEC);
    if (fd < 0 || ::ftruncate(fd, off_t(bytes * kBuffers)) != 0) return 1;
    auto* memory = static_cast<uint32_t*>(
        ::mmap(nullptr, bytes * kBuffers, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
    if (memory == MAP_FAILED) return 1;
    wl_shm_pool* pool = wl_shm_create_pool(w.shm, fd, int32_t(bytes * kBuffers));
    wl_buffer* buffers[kBuffers];
    for (int i = 0; i < kBuffers; ++i) {
        buffers[i] = wl_shm_pool_create_buffer(pool, int32_t(bytes) * i, width, height, width * 4,
                                               WL_SHM_FORMAT_XRGB8888);
        wl_buffer_add_listener(buffers[i], &kBuffer, &w.busy[i]);
    }
    for (int step = 0;; ++step) {
        const bool* free;
        while ((free = std::find(w.busy, w.busy + kBuffers, false)) == w.busy + kBuffers)
            if (wl_display_dispatch(display) < 0) return 0;
        const int i = int(free - w.busy);
        std::fill(memory + size_t(i) * bytes / 4, memory + size_t(i + 1) * bytes / 4,
                  broadcastbench::ProbeColour(step));
        wl_surface_attach(surface, buffers[i], 0, 0);
        wl_surface_damage_buffer(surface, 0, 0, width, height);
        wl_surface_commit(surface);
        w.busy[i] = true;
        if (wl_display_roundtrip(display) < 0) return 0;
        std::printf("%d %.6f\n", step, Now());
        std::fflush(stdout);
        ::usleep(useconds_t(period) * 1000);
    }
}
