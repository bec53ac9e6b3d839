// vistrel-rtsp: the Vistrel broadcast as an RTSP stream, one vistrelsrc pipeline shared by every
// client, on GStreamer's RTSP server.
#include "tools/vistrel-rtsp/RtspOptions.h"

#include <gst/gst.h>
#include <gst/rtsp-server/rtsp-server.h>

#include <climits>
#include <cstdio>
#include <glib-unix.h>
#include <string>
#include <unistd.h>

namespace {

constexpr const char* kMountPath = "/vistrel";
constexpr const char* kViewerRole = "viewer";

// vistrelsrc is a reader of the channel: it copies each frame out, so a slow encoder or client
// never holds back the broadcast; the leaky queue keeps the newest frames for the encoder rather
// than a backlog. A key frame every second lets a client that joins the shared stream start soon.
struct Encoding {
    const char* encoder; // the element that must be installed
    const char* name;
    const char* tail; // from the raw frames to the payloader
};

constexpr Encoding kEncodings[] = {
    {"x264enc", "H.264",
     "video/x-raw,format=I420 ! x264enc tune=zerolatency speed-preset=ultrafast key-int-max=30 "
     "bframes=0 ! video/x-h264,profile=constrained-baseline ! rtph264pay name=pay0 pt=96 "
     "config-interval=-1"},
    {"vp8enc", "VP8",
     "vp8enc deadline=1 cpu-used=8 lag-in-frames=0 keyframe-max-dist=30 end-usage=cbr "
     "target-bitrate=2000000 error-resilient=default ! rtpvp8pay name=pay0 pt=96"},
};

// The plug-in installed beside this program (the stage is laid out as the install is), ahead of
// GStreamer's own folders, so that an installed tree needs no GST_PLUGIN_PATH.
void RegisterOwnPlugIn() {
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return;
    const std::string program(self, size_t(length));
    const std::string folder =
        program.substr(0, program.rfind('/')) + "/" VISTREL_PLUGIN_FOLDER_FROM_BIN;
    gst_registry_scan_path(gst_registry_get(), folder.c_str());
}

bool Installed(const char* element) {
    GstElementFactory* factory = gst_element_factory_find(element);
    if (factory) gst_object_unref(factory);
    return factory != nullptr;
}

gboolean Quit(gpointer loop) {
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_REMOVE;
}

// Sessions of clients that went away without saying so end after their timeout.
gboolean CleanSessions(gpointer server) {
    GstRTSPSessionPool* pool = gst_rtsp_server_get_session_pool(GST_RTSP_SERVER(server));
    gst_rtsp_session_pool_cleanup(pool);
    g_object_unref(pool);
    return G_SOURCE_CONTINUE;
}

// A pipeline that fails (no broadcast yet, connections switched off) costs the client the
// library's 503; the person running the server reads why.
void SayWhy(GstBus*, GstMessage* message, gpointer) {
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    std::fprintf(stderr, "vistrel-rtsp: the camera stream failed: %s\n", error->message);
    g_error_free(error);
}

void WatchForErrors(GstRTSPMediaFactory*, GstRTSPMedia* media, gpointer) {
    GstElement* element = gst_rtsp_media_get_element(media);
    GstObject* pipeline = gst_object_get_parent(GST_OBJECT(element));
    gst_object_unref(element);
    if (!pipeline) return;
    GstBus* bus = gst_pipeline_get_bus(GST_PIPELINE(pipeline));
    gst_bus_enable_sync_message_emission(bus);
    g_signal_connect(bus, "sync-message::error", G_CALLBACK(SayWhy), nullptr);
    gst_object_unref(bus);
    gst_object_unref(pipeline);
}

// Only the one user may see the stream: digest authentication, so that the password never
// crosses the network.
void RequireCredentials(GstRTSPServer* server, GstRTSPMediaFactory* factory,
                        const RtspOptions& options) {
    GstRTSPAuth* auth = gst_rtsp_auth_new();
    GstRTSPToken* token =
        gst_rtsp_token_new(GST_RTSP_TOKEN_MEDIA_FACTORY_ROLE, G_TYPE_STRING, kViewerRole, nullptr);
    gst_rtsp_auth_add_digest(auth, options.user.c_str(), options.password.c_str(), token);
    gst_rtsp_token_unref(token);
    gst_rtsp_auth_set_supported_methods(auth, GST_RTSP_AUTH_DIGEST);
    gst_rtsp_server_set_auth(server, auth);
    g_object_unref(auth);
    gst_rtsp_media_factory_add_role(factory, kViewerRole, GST_RTSP_PERM_MEDIA_FACTORY_ACCESS,
                                    G_TYPE_BOOLEAN, TRUE, GST_RTSP_PERM_MEDIA_FACTORY_CONSTRUCT,
                                    G_TYPE_BOOLEAN, TRUE, nullptr);
}

} // namespace

int main(int argc, char** argv) {
    const ParsedRtspOptions parsed = ParseRtspOptions(argc, argv);
    if (!parsed.options) return parsed.status;
    const RtspOptions& options = *parsed.options;

    gst_init(nullptr, nullptr);
    RegisterOwnPlugIn();
    if (!Installed("vistrelsrc")) {
        std::fprintf(stderr, "vistrel-rtsp: the GStreamer element vistrelsrc is not installed "
                             "(neither beside this program nor on GStreamer's plug-in path)\n");
        return 69;
    }
    const Encoding* encoding = nullptr;
    for (const Encoding& candidate : kEncodings)
        if (!encoding && Installed(candidate.encoder)) encoding = &candidate;
    if (!encoding) {
        std::fprintf(stderr, "vistrel-rtsp: no video encoder: install x264enc "
                             "(gstreamer1.0-plugins-ugly) or vp8enc (gstreamer1.0-plugins-good)\n");
        return 69;
    }

    GstRTSPServer* server = gst_rtsp_server_new();
    gst_rtsp_server_set_address(server, options.address.c_str());
    gst_rtsp_server_set_service(server, std::to_string(options.port).c_str());
    GstRTSPMediaFactory* factory = gst_rtsp_media_factory_new();
    const std::string launch =
        std::string("( vistrelsrc ! queue leaky=downstream max-size-buffers=2 max-size-bytes=0 "
                    "max-size-time=0 ! videoconvert ! ") +
        encoding->tail + " )";
    gst_rtsp_media_factory_set_launch(factory, launch.c_str());
    gst_rtsp_media_factory_set_shared(factory, TRUE);
    g_signal_connect(factory, "media-constructed", G_CALLBACK(WatchForErrors), nullptr);
    if (!options.user.empty()) RequireCredentials(server, factory, options);
    GstRTSPMountPoints* mounts = gst_rtsp_server_get_mount_points(server);
    gst_rtsp_mount_points_add_factory(mounts, kMountPath, factory);
    g_object_unref(mounts);

    if (gst_rtsp_server_attach(server, nullptr) == 0) {
        std::fprintf(stderr, "vistrel-rtsp: cannot listen on %s port %u\n", options.address.c_str(),
                     options.port);
        g_object_unref(server);
        return 1;
    }
    const bool ipv6 = options.address.find(':') != std::string::npos;
    std::printf("vistrel-rtsp: serving rtsp://%s%s%s:%d%s (%s)\n", ipv6 ? "[" : "",
                options.address.c_str(), ipv6 ? "]" : "", gst_rtsp_server_get_bound_port(server),
                kMountPath, encoding->name);
    std::fflush(stdout);

    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_unix_signal_add(SIGINT, Quit, loop);
    g_unix_signal_add(SIGTERM, Quit, loop);
    g_timeout_add_seconds(2, CleanSessions, server);
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
    g_object_unref(server);
    return 0;
}
