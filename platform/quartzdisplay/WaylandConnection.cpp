#include "platform/quartzdisplay/WaylandConnection.h"

#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

#include <algorithm>
#include <cstring>
#include <poll.h>
#include <wayland-client.h>

namespace platform::coregraphics::wayland {

namespace {

// A compositor that keeps this long from answering is taken for one that will not.
constexpr int kAnswerMs = 2000;

void OutputGeometry(void* data, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t,
                    const char*, const char*, int32_t transform) {
    static_cast<Output*>(data)->transform = transform;
}
void OutputMode(void*, wl_output*, uint32_t, int32_t, int32_t, int32_t) {}
void OutputDone(void*, wl_output*) {}
void OutputScale(void*, wl_output*, int32_t) {}
void OutputText(void*, wl_output*, const char*) {}
const wl_output_listener kOutputListener = {OutputGeometry, OutputMode, OutputDone,
                                            OutputScale,    OutputText, OutputText};

void LogicalPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y) {
    auto* output = static_cast<Output*>(data);
    output->x = x;
    output->y = y;
}
void LogicalSize(void* data, zxdg_output_v1*, int32_t width, int32_t height) {
    auto* output = static_cast<Output*>(data);
    output->width = width;
    output->height = height;
}
void LogicalDone(void*, zxdg_output_v1*) {}
void LogicalText(void*, zxdg_output_v1*, const char*) {}
const zxdg_output_v1_listener kLogicalListener = {LogicalPosition, LogicalSize, LogicalDone,
                                                  LogicalText, LogicalText};

// The layout's place of an output comes from its xdg-output, which needs the manager: whichever
// of the two globals comes second completes the outputs known by then.
void Describe(Connection& c, Output& output) {
    if (output.logical || !c.outputManager || !output.output) return;
    output.logical = zxdg_output_manager_v1_get_xdg_output(c.outputManager, output.output);
    zxdg_output_v1_add_listener(output.logical, &kLogicalListener, &output);
}

void Global(void* data, wl_registry* registry, uint32_t name, const char* interface,
            uint32_t version) {
    auto& c = *static_cast<Connection*>(data);
    if (std::strcmp(interface, wl_shm_interface.name) == 0) {
        c.shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (std::strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0) {
        c.screenCopyVersion = std::min(version, 3u);
        c.screenCopy = static_cast<zwlr_screencopy_manager_v1*>(wl_registry_bind(
            registry, name, &zwlr_screencopy_manager_v1_interface, c.screenCopyVersion));
    } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0) {
        c.outputManager = static_cast<zxdg_output_manager_v1*>(wl_registry_bind(
            registry, name, &zxdg_output_manager_v1_interface, std::min(version, 2u)));
        for (Output& output : c.outputs)
            Describe(c, output);
    } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
        auto free = std::find_if(c.outputs.begin(), c.outputs.end(),
                                 [](const Output& o) { return o.name == 0; });
        if (free == c.outputs.end()) return;
        *free = Output{name};
        free->output = static_cast<wl_output*>(
            wl_registry_bind(registry, name, &wl_output_interface, std::min(version, 2u)));
        wl_output_add_listener(free->output, &kOutputListener, &*free);
        Describe(c, *free);
    }
}

void GlobalRemove(void* data, wl_registry*, uint32_t name) {
    for (Output& output : static_cast<Connection*>(data)->outputs) {
        if (output.name != name) continue;
        if (output.logical) zxdg_output_v1_destroy(output.logical);
        if (output.output) wl_output_destroy(output.output);
        output = Output{};
    }
}

const wl_registry_listener kRegistryListener = {Global, GlobalRemove};

void Synced(void* data, wl_callback* callback, uint32_t) {
    *static_cast<bool*>(data) = true;
    wl_callback_destroy(callback);
}
const wl_callback_listener kSyncListener = {Synced};

// Waits until the compositor has answered everything asked so far.
bool Roundtrip(Connection& c) {
    bool done = false;
    wl_callback_add_listener(wl_display_sync(c.display), &kSyncListener, &done);
    for (int waited = 0; !done && waited < kAnswerMs; waited += 100)
        if (!Dispatch(c, 100)) return false;
    return done;
}

Connection* Open(std::string& why) {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        why = "no Wayland compositor answers";
        return nullptr;
    }
    auto* c = new Connection;
    c->display = display;
    c->registry = wl_display_get_registry(display);
    wl_registry_add_listener(c->registry, &kRegistryListener, c);
    // The globals, then what the outputs say about themselves.
    if (!Roundtrip(*c) || !Roundtrip(*c)) {
        why = "the Wayland compositor does not answer";
    } else if (!c->screenCopy || !c->shm || !c->outputManager) {
        why = "the Wayland compositor offers no screen copy (zwlr_screencopy_manager_v1)";
    } else {
        return c;
    }
    // Proxies are the client's memory: the connection does not take them with it.
    for (Output& output : c->outputs) {
        if (output.logical) zxdg_output_v1_destroy(output.logical);
        if (output.output) wl_output_destroy(output.output);
    }
    if (c->screenCopy) zwlr_screencopy_manager_v1_destroy(c->screenCopy);
    if (c->outputManager) zxdg_output_manager_v1_destroy(c->outputManager);
    if (c->shm) wl_shm_destroy(c->shm);
    wl_registry_destroy(c->registry);
    wl_display_disconnect(display);
    delete c;
    return nullptr;
}

} // namespace

Connection* TheConnection(std::string& why) {
    // Never closed: captures on other threads may still be using it during the exit.
    static std::string sWhy;
    static Connection* const sConnection = Open(sWhy);
    why = sWhy;
    return sConnection;
}

bool Dispatch(Connection& c, int timeoutMs) {
    if (c.lost) return false;
    while (wl_display_prepare_read(c.display) != 0)
        if (wl_display_dispatch_pending(c.display) < 0) return !(c.lost = true);
    wl_display_flush(c.display);
    pollfd ready{wl_display_get_fd(c.display), POLLIN, 0};
    const int polled = ::poll(&ready, 1, timeoutMs);
    if (polled <= 0) {
        wl_display_cancel_read(c.display);
        return polled == 0 || !(c.lost = true);
    }
    if (wl_display_read_events(c.display) < 0 || wl_display_dispatch_pending(c.display) < 0)
        c.lost = true;
    return !c.lost;
}

ScreenDisplayList OutputList(const Connection& c) {
    ScreenDisplayList list;
    for (const Output& o : c.outputs) {
        if (o.name == 0 || o.width <= 0 || o.height <= 0) continue;
        const bool main = o.x == 0 && o.y == 0;
        if (main)
            std::copy_backward(list.begin(), list.end(), list.displays.data() + list.count + 1);
        list.displays[main ? 0 : list.count] = ScreenDisplay{o.name, o.x, o.y, o.width, o.height};
        ++list.count;
    }
    return list;
}

} // namespace platform::coregraphics::wayland
