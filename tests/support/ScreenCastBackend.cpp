// A screen-cast back end of the tests' own behind the desktop portal's front end. It grants every
// request at once, as a user who always agrees (or with --refuse refuses each, as one who never
// does), and serves one PipeWire stream of a known picture: WIDTHxHEIGHT BGRx pixels read from a
// file, the one monitor at the layout's origin. Each call it gets is appended as a line, "Method
// options", to the record file, where a test finds whether a restore token came back as restore
// data.
//   test_screencast_backend PICTURE WIDTHxHEIGHT RECORD [--refuse]
// It takes its bus name once its stream has a node.
#include <gio/gio.h>
#include <pipewire/pipewire.h>
#include <spa/param/buffers.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

constexpr const char* kBusName = "org.freedesktop.impl.portal.desktop.vistreltest";
constexpr const char* kInterfaces = R"(<node>
 <interface name="org.freedesktop.impl.portal.ScreenCast">
  <method name="CreateSession"><arg type="o" direction="in"/><arg type="o" direction="in"/>
   <arg type="s" direction="in"/><arg type="a{sv}" direction="in"/>
   <arg type="u" direction="out"/><arg type="a{sv}" direction="out"/></method>
  <method name="SelectSources"><arg type="o" direction="in"/><arg type="o" direction="in"/>
   <arg type="s" direction="in"/><arg type="a{sv}" direction="in"/>
   <arg type="u" direction="out"/><arg type="a{sv}" direction="out"/></method>
  <method name="Start"><arg type="o" direction="in"/><arg type="o" direction="in"/>
   <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="a{sv}" direction="in"/>
   <arg type="u" direction="out"/><arg type="a{sv}" direction="out"/></method>
  <property name="AvailableSourceTypes" type="u" access="read"/>
  <property name="AvailableCursorModes" type="u" access="read"/>
  <property name="version" type="u" access="read"/>
 </interface>
</node>)";

struct Backend {
    int width = 0, height = 0;
    std::string picture, record;
    bool refuse = false;
    pw_thread_loop* loop = nullptr;
    pw_stream* stream = nullptr;
    spa_hook listener{};
    uint32_t node = SPA_ID_INVALID;
    bool streaming = false, failed = false;
    GDBusNodeInfo* info = nullptr;
};
Backend backend;

// The stream: a driver at ten frames a second, each frame the picture.
void StateChanged(void*, pw_stream_state, pw_stream_state state, const char* error) {
    if (state == PW_STREAM_STATE_ERROR) std::fprintf(stderr, "stream: %s\n", error);
    backend.failed = state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED;
    if (state == PW_STREAM_STATE_PAUSED || state == PW_STREAM_STATE_STREAMING)
        backend.node = pw_stream_get_node_id(backend.stream);
    backend.streaming = state == PW_STREAM_STATE_STREAMING;
    pw_thread_loop_signal(backend.loop, false);
}

void ParamChanged(void*, uint32_t id, const spa_pod* param) {
    if (id != SPA_PARAM_Format || !param) return;
    uint8_t storage[256];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(storage, sizeof storage);
    const int stride = backend.width * 4;
    const auto* buffers = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
        SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
        SPA_PARAM_BUFFERS_size, SPA_POD_Int(stride * backend.height), SPA_PARAM_BUFFERS_stride,
        SPA_POD_Int(stride), SPA_PARAM_BUFFERS_dataType,
        SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
    pw_stream_update_params(backend.stream, &buffers, 1);
}

void Process(void*) {
    pw_buffer* buffer = pw_stream_dequeue_buffer(backend.stream);
    if (!buffer) return;
    spa_data& data = buffer->buffer->datas[0];
    if (data.data && data.maxsize >= backend.picture.size()) {
        std::memcpy(data.data, backend.picture.data(), backend.picture.size());
        *data.chunk = {0, uint32_t(backend.picture.size()), backend.width * 4, 0};
    }
    pw_stream_queue_buffer(backend.stream, buffer);
}

void Tick(void*, uint64_t) {
    if (backend.streaming) pw_stream_trigger_process(backend.stream);
}

bool StartStream() {
    static pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = StateChanged;
    events.param_changed = ParamChanged;
    events.process = Process;
    backend.loop = pw_thread_loop_new("screencast", nullptr);
    pw_thread_loop_lock(backend.loop);
    pw_thread_loop_start(backend.loop);
    pw_context* context = pw_context_new(pw_thread_loop_get_loop(backend.loop), nullptr, 0);
    pw_core* core = pw_context_connect(context, nullptr, 0);
    if (!core) return pw_thread_loop_unlock(backend.loop), false;
    backend.stream = pw_stream_new(
        core, "vistrel-test-screen",
        pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", PW_KEY_MEDIA_TYPE, "Video",
                          PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    pw_stream_add_listener(backend.stream, &backend.listener, &events, nullptr);
    uint8_t storage[256];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(storage, sizeof storage);
    spa_rectangle size{uint32_t(backend.width), uint32_t(backend.height)};
    spa_fraction rate{10, 1};
    const auto* format = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
        SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_Id(SPA_VIDEO_FORMAT_BGRx), SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate)));
    pw_stream_connect(backend.stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
                      pw_stream_flags(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS), &format,
                      1);
    spa_source* timer = pw_loop_add_timer(pw_thread_loop_get_loop(backend.loop), Tick, nullptr);
    timespec period{0, 100'000'000};
    pw_loop_update_timer(pw_thread_loop_get_loop(backend.loop), timer, &period, &period, false);
    while (backend.node == SPA_ID_INVALID && !backend.failed)
        pw_thread_loop_wait(backend.loop);
    pw_thread_loop_unlock(backend.loop);
    return !backend.failed;
}

GVariant* Dict(std::initializer_list<std::pair<const char*, GVariant*>> entries) {
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE_VARDICT);
    for (const auto& [key, value] : entries)
        g_variant_builder_add(&builder, "{sv}", key, value);
    return g_variant_builder_end(&builder);
}

GVariant* Property(GDBusConnection*, const char*, const char*, const char*, const char* property,
                   GError**, void*) {
    if (!std::strcmp(property, "AvailableSourceTypes")) return g_variant_new_uint32(1); // monitor
    if (!std::strcmp(property, "AvailableCursorModes")) return g_variant_new_uint32(3);
    return g_variant_new_uint32(4);
}

// The requests are answered before their calls return, so no request object outlives its call;
// sessions get no object here (the front end's session is the program's; closing it finds none
// behind it, which the program never sees).
void ScreenCastCall(GDBusConnection*, const char*, const char*, const char*, const char* method,
                    GVariant* parameters, GDBusMethodInvocation* invocation, void*) {
    GVariant* options = g_variant_get_child_value(parameters, g_variant_n_children(parameters) - 1);
    gchar* printed = g_variant_print(options, false);
    std::ofstream(backend.record, std::ios::app) << method << " " << printed << std::endl;
    g_free(printed);
    g_variant_unref(options);
    guint response = 0;
    GVariant* results = nullptr;
    if (!std::strcmp(method, "Start") && backend.refuse) {
        response = 1;
    } else if (!std::strcmp(method, "Start")) {
        GVariantBuilder streams;
        g_variant_builder_init(&streams, G_VARIANT_TYPE("a(ua{sv})"));
        g_variant_builder_add(&streams, "(u@a{sv})", backend.node,
                              Dict({{"position", g_variant_new("(ii)", 0, 0)},
                                    {"size", g_variant_new("(ii)", backend.width, backend.height)},
                                    {"source_type", g_variant_new_uint32(1)}}));
        results = Dict({{"streams", g_variant_builder_end(&streams)},
                        {"restore_data", g_variant_new("(suv)", "vistreltest", 1,
                                                       g_variant_new_string("monitor-0"))}});
    }
    g_dbus_method_invocation_return_value(
        invocation, g_variant_new("(u@a{sv})", response, results ? results : Dict({})));
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 4) {
        std::ifstream file(argv[1], std::ios::binary);
        backend.picture.assign(std::istreambuf_iterator<char>(file), {});
        std::sscanf(argv[2], "%dx%d", &backend.width, &backend.height);
        backend.record = argv[3];
        backend.refuse = argc > 4 && std::string(argv[4]) == "--refuse";
    }
    if (backend.width <= 0 ||
        backend.picture.size() != size_t(backend.width) * backend.height * 4) {
        std::fprintf(stderr, "usage: %s PICTURE WIDTHxHEIGHT RECORD [--refuse]\n", argv[0]);
        return 2;
    }
    pw_init(&argc, &argv);
    if (!StartStream()) {
        std::fprintf(stderr, "no PipeWire daemon answers\n");
        return 1;
    }
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    backend.info = bus ? g_dbus_node_info_new_for_xml(kInterfaces, &error) : nullptr;
    if (!backend.info) {
        std::fprintf(stderr, "%s\n", error->message);
        return 1;
    }
    static const GDBusInterfaceVTable vtable{ScreenCastCall, Property, nullptr, {}};
    g_dbus_connection_register_object(bus, "/org/freedesktop/portal/desktop",
                                      backend.info->interfaces[0], &vtable, nullptr, nullptr,
                                      &error);
    g_bus_own_name_on_connection(
        bus, kBusName, G_BUS_NAME_OWNER_FLAGS_NONE, nullptr,
        [](GDBusConnection*, const char*, void*) { std::exit(1); }, nullptr, nullptr);
    g_main_loop_run(g_main_loop_new(nullptr, false));
}
