#include "platform/quartzdisplay/PipeWireFrames.h"

#include "platform/quartzdisplay/ScreenPixels.h"

#include <pipewire/pipewire.h>
#include <spa/buffer/buffer.h>
#include <spa/param/buffers.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace platform::coregraphics::portal {

namespace {

// How long a start waits for every monitor's first frame, and a grab for a frame after the
// stream changed its format.
constexpr int kFirstFrameMs = 5000, kFrameMs = 1000;

bool RedFirst(uint32_t format) {
    return format == SPA_VIDEO_FORMAT_RGBx || format == SPA_VIDEO_FORMAT_RGBA;
}

// A display image's pixel from a frame's word: opaque, red and blue exchanged where the frame
// has red first in memory.
inline uint32_t Pixel(uint32_t word, bool redFirst) {
    if (redFirst)
        word = (word & 0x0000FF00u) | (word << 16 & 0x00FF0000u) | (word >> 16 & 0x000000FFu);
    return word | 0xFF000000u;
}

// The frame's pixel whose centre lies nearest to that of the layout's pixel at of a side of
// layout pixels, the frame's side being frame pixels.
inline int64_t Sample(int64_t at, int64_t layout, int64_t frame) {
    return (2 * at + 1) * frame / (2 * layout);
}

class Locked {
public:
    explicit Locked(pw_thread_loop* loop) : mLoop(loop) { pw_thread_loop_lock(loop); }
    ~Locked() { pw_thread_loop_unlock(mLoop); }
    Locked(const Locked&) = delete;

private:
    pw_thread_loop* mLoop;
};

// A frame as it is read: a buffer held from the stream and where its pixels lie.
struct Frame {
    pw_buffer* buffer = nullptr;
    const uint8_t* pixels = nullptr;
    size_t stride = 0;
    int width = 0, height = 0;
    bool redFirst = false;
};

} // namespace

// Everything but the frame count is touched with the loop's lock held: its callbacks run with it.
struct PipeWireFrames::Source {
    Parts* parts = nullptr;
    uint32_t node = 0;
    pw_stream* stream = nullptr;
    spa_hook listener{};
    uint32_t format = 0;
    int width = 0, height = 0;
    Frame kept;
    std::atomic<uint64_t> frames{0};
    std::string ended; // why the stream ended; empty while it runs
};

struct PipeWireFrames::Parts {
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_registry* registry = nullptr;
    spa_hook coreListener{}, registryListener{};
    std::vector<std::unique_ptr<Source>> sources;
};

struct PipeWireFrames::Events {
    static void End(Source& s, const std::string& why) {
        if (!s.ended.empty()) return;
        s.ended = why.empty() ? "for no reason given" : why;
        ++s.frames;
        pw_thread_loop_signal(s.parts->loop, false);
    }

    static void StateChanged(void* data, pw_stream_state, pw_stream_state state,
                             const char* error) {
        auto& s = *static_cast<Source*>(data);
        if (state == PW_STREAM_STATE_ERROR) End(s, error ? error : "");
        if (state == PW_STREAM_STATE_UNCONNECTED) End(s, "the stream was disconnected");
    }

    // The producer's format: buffers of shared memory that are mapped here.
    static void ParamChanged(void* data, uint32_t id, const spa_pod* param) {
        auto& s = *static_cast<Source*>(data);
        if (id != SPA_PARAM_Format) return;
        s.format = 0;
        uint32_t type = 0, subtype = 0;
        spa_video_info_raw info{};
        if (!param || spa_format_parse(param, &type, &subtype) < 0 ||
            type != SPA_MEDIA_TYPE_video || subtype != SPA_MEDIA_SUBTYPE_raw ||
            spa_format_video_raw_parse(param, &info) < 0 || info.size.width == 0 ||
            info.size.height == 0)
            return;
        s.format = info.format;
        s.width = int(info.size.width);
        s.height = int(info.size.height);
        uint8_t storage[256];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(storage, sizeof storage);
        // Two buffers at least: one held with the newest frame, one for the producer to fill.
        const auto* buffers = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
            SPA_POD_CHOICE_RANGE_Int(4, 2, 16), SPA_PARAM_BUFFERS_dataType,
            SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
        pw_stream_update_params(s.stream, &buffers, 1);
    }

    static void RemoveBuffer(void* data, pw_buffer* buffer) {
        auto& s = *static_cast<Source*>(data);
        if (s.kept.buffer == buffer) s.kept = Frame{};
    }

    // Where the buffer's pixels lie; nothing where it holds no whole frame of the format.
    static Frame FrameOf(const Source& s, pw_buffer* buffer) {
        const spa_buffer* b = buffer->buffer;
        if (!s.format || b->n_datas < 1) return {};
        const spa_data& d = b->datas[0];
        if (!d.data || !d.chunk || d.chunk->size == 0 ||
            (d.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED))
            return {};
        const uint64_t row = uint64_t(s.width) * 4;
        const uint64_t stride = d.chunk->stride > 0 ? uint64_t(d.chunk->stride) : row;
        const uint64_t end = uint64_t(d.chunk->offset) + stride * uint64_t(s.height - 1) + row;
        const auto* pixels = static_cast<const uint8_t*>(d.data) + d.chunk->offset;
        if (stride < row || stride % 4 || end > d.maxsize ||
            reinterpret_cast<uintptr_t>(pixels) % 4)
            return {};
        return {buffer, pixels, size_t(stride), s.width, s.height, RedFirst(s.format)};
    }

    // The newest whole frame is kept, and the one it replaces given back.
    static void Process(void* data) {
        auto& s = *static_cast<Source*>(data);
        Frame newest;
        while (pw_buffer* buffer = pw_stream_dequeue_buffer(s.stream)) {
            const Frame frame = FrameOf(s, buffer);
            if (!frame.buffer) {
                pw_stream_queue_buffer(s.stream, buffer);
                continue;
            }
            if (newest.buffer) pw_stream_queue_buffer(s.stream, newest.buffer);
            newest = frame;
        }
        if (!newest.buffer) return;
        if (s.kept.buffer) pw_stream_queue_buffer(s.stream, s.kept.buffer);
        s.kept = newest;
        ++s.frames;
        pw_thread_loop_signal(s.parts->loop, false);
    }

    static void CoreError(void* data, uint32_t id, int, int result, const char* message) {
        // A stream's own errors come through its state.
        if (id != PW_ID_CORE) return;
        for (auto& s : static_cast<Parts*>(data)->sources)
            End(*s, result == -EPIPE ? "PipeWire went away" : message);
    }

    static void GlobalRemoved(void* data, uint32_t id) {
        for (auto& s : static_cast<Parts*>(data)->sources)
            if (s->node == id) End(*s, "the desktop ended the screen cast");
    }

    static pw_stream_events Stream() {
        pw_stream_events events{};
        events.version = PW_VERSION_STREAM_EVENTS;
        events.state_changed = StateChanged;
        events.param_changed = ParamChanged;
        events.remove_buffer = RemoveBuffer;
        events.process = Process;
        return events;
    }
    static pw_core_events Core() {
        pw_core_events events{};
        events.version = PW_VERSION_CORE_EVENTS;
        events.error = CoreError;
        return events;
    }
    static pw_registry_events Registry() {
        pw_registry_events events{};
        events.version = PW_VERSION_REGISTRY_EVENTS;
        events.global_remove = GlobalRemoved;
        return events;
    }
    static inline const pw_stream_events kStream = Stream();
    static inline const pw_core_events kCore = Core();
    static inline const pw_registry_events kRegistry = Registry();
};

PipeWireFrames::PipeWireFrames() : mParts(std::make_unique<Parts>()) {}

PipeWireFrames::~PipeWireFrames() {
    Parts& p = *mParts;
    if (p.loop) pw_thread_loop_lock(p.loop);
    for (auto& s : p.sources)
        if (s->stream) pw_stream_destroy(s->stream);
    if (p.registry) pw_proxy_destroy(reinterpret_cast<pw_proxy*>(p.registry));
    if (p.core) pw_core_disconnect(p.core);
    if (p.loop) pw_thread_loop_unlock(p.loop);
    if (p.loop) pw_thread_loop_stop(p.loop);
    if (p.context) pw_context_destroy(p.context);
    if (p.loop) pw_thread_loop_destroy(p.loop);
}

bool PipeWireFrames::Start(int remote, const std::vector<uint32_t>& nodes, std::string& why) {
    static const bool sReady = (pw_init(nullptr, nullptr), true);
    (void)sReady;
    Parts& p = *mParts;
    p.loop = pw_thread_loop_new("vistrel-screen-cast", nullptr);
    p.context = p.loop ? pw_context_new(pw_thread_loop_get_loop(p.loop), nullptr, 0) : nullptr;
    if (!p.context || pw_thread_loop_start(p.loop) < 0) {
        ::close(remote);
        why = "PipeWire cannot run here (" + std::string(std::strerror(errno)) + ")";
        return false;
    }
    Locked locked(p.loop);
    p.core = pw_context_connect_fd(p.context, remote, nullptr, 0);
    if (!p.core) {
        why = "the screen cast's PipeWire remote cannot be reached (" +
              std::string(std::strerror(errno)) + ")";
        return false;
    }
    pw_core_add_listener(p.core, &p.coreListener, &Events::kCore, &p);
    p.registry = pw_core_get_registry(p.core, PW_VERSION_REGISTRY, 0);
    if (p.registry)
        pw_registry_add_listener(p.registry, &p.registryListener, &Events::kRegistry, &p);

    spa_rectangle size{1920, 1080}, smallest{1, 1}, largest{16384, 16384};
    spa_fraction rate{30, 1}, slowest{0, 1}, fastest{1000, 1};
    for (uint32_t node : nodes) {
        auto& s = *p.sources.emplace_back(std::make_unique<Source>());
        s.parts = &p;
        s.node = node;
        s.stream =
            pw_stream_new(p.core, "vistrel-screen",
                          pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                            "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
        if (!s.stream) {
            why = "no PipeWire stream can be made (" + std::string(std::strerror(errno)) + ")";
            return false;
        }
        pw_stream_add_listener(s.stream, &s.listener, &Events::kStream, &s);
        // 32-bit pixels in shared memory only: no format modifier, so no DMA-BUF is offered.
        uint8_t storage[512];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(storage, sizeof storage);
        const auto* format = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
            SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
            SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
            SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx,
                                   SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBx,
                                   SPA_VIDEO_FORMAT_RGBA),
            SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&size, &smallest, &largest),
            SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&rate, &slowest, &fastest)));
        const int connected = pw_stream_connect(
            s.stream, PW_DIRECTION_INPUT, node,
            pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), &format, 1);
        if (connected < 0) {
            why = "the screen cast's PipeWire stream cannot be read (" +
                  std::string(std::strerror(-connected)) + ")";
            return false;
        }
    }
    timespec until;
    pw_thread_loop_get_time(p.loop, &until, kFirstFrameMs * SPA_NSEC_PER_MSEC);
    const auto waiting = [&p] {
        for (const auto& s : p.sources)
            if (s->frames == 0) return true;
        return false;
    };
    while (waiting() && pw_thread_loop_timed_wait_full(p.loop, &until) == 0) {
    }
    for (const auto& s : p.sources) {
        if (!s->ended.empty()) why = "the screen cast's PipeWire stream ended (" + s->ended + ")";
        if (s->ended.empty() && !s->kept.buffer)
            why = "the screen cast's PipeWire stream shows no picture within " +
                  std::to_string(kFirstFrameMs / 1000) + " seconds";
        if (!why.empty()) return false;
    }
    return true;
}

void PipeWireFrames::Size(size_t stream, int& width, int& height) const {
    Locked locked(mParts->loop);
    width = mParts->sources[stream]->width;
    height = mParts->sources[stream]->height;
}

uint64_t PipeWireFrames::Frames(size_t stream) const {
    return mParts->sources[stream]->frames;
}

bool PipeWireFrames::Read(size_t stream, const ScreenDisplay& display, const ScreenArea& part,
                          uint32_t* pixels, std::string& why) const {
    Parts& p = *mParts;
    Locked locked(p.loop);
    Source& s = *p.sources[stream];
    if (!s.kept.buffer && s.ended.empty()) {
        timespec until;
        pw_thread_loop_get_time(p.loop, &until, kFrameMs * SPA_NSEC_PER_MSEC);
        while (!s.kept.buffer && s.ended.empty() &&
               pw_thread_loop_timed_wait_full(p.loop, &until) == 0) {
        }
    }
    if (!s.ended.empty() || !s.kept.buffer) {
        why = s.ended.empty() ? "the screen cast of a monitor shows no picture"
                              : "the screen cast of a monitor ended (" + s.ended + ")";
        return false;
    }
    const Frame& f = s.kept;
    const bool scaled = f.width != display.width || f.height != display.height;
    const int64_t left = part.left - display.x, top = part.top - display.y;
    for (int row = 0; row < part.height; ++row) {
        const int64_t y = scaled ? Sample(top + row, display.height, f.height) : top + row;
        const auto* line = reinterpret_cast<const uint32_t*>(f.pixels + size_t(y) * f.stride);
        uint32_t* to = pixels + size_t(row) * size_t(part.width);
        if (!scaled && !f.redFirst) {
            CopyOpaque(reinterpret_cast<const uint8_t*>(line + left), to, size_t(part.width));
            continue;
        }
        for (int column = 0; column < part.width; ++column) {
            const int64_t x =
                scaled ? Sample(left + column, display.width, f.width) : left + column;
            to[column] = Pixel(line[x], f.redFirst);
        }
    }
    return true;
}

} // namespace platform::coregraphics::portal
