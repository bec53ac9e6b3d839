// A GStreamer application that keeps one vistrelsrc buffer after its pipeline has stopped, reads
// it, and only then frees it. It prints what it saw, one fact a line:
//   loaded-after-stop=<0|1>   the camera component (argv[1]) was still loaded with the buffer alive
//   counter=<n> intact=<0|1>  the kept frame's counter, and whether it is exactly that pattern
//   loaded-after-free=<0|1>   the component was still loaded once the buffer was freed
#include "tools/vistrel-channel/TestPattern.h"

#include <gst/gst.h>

#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <vector>

namespace {

bool IsLoaded(const char* object) {
    void* handle = ::dlopen(object, RTLD_NOW | RTLD_NOLOAD);
    if (handle) ::dlclose(handle);
    return handle != nullptr;
}

GstPadProbeReturn KeepFirst(GstPad*, GstPadProbeInfo* info, gpointer kept) {
    auto** buffer = static_cast<GstBuffer**>(kept);
    if (!*buffer) *buffer = gst_buffer_ref(GST_PAD_PROBE_INFO_BUFFER(info));
    return GST_PAD_PROBE_OK;
}

} // namespace

int main(int argc, char** argv) {
    gst_init(&argc, &argv);
    if (argc != 2) return 64;
    GError* error = nullptr;
    GstElement* pipeline =
        gst_parse_launch("vistrelsrc name=camera num-buffers=1 ! fakesink", &error);
    if (!pipeline) return std::fprintf(stderr, "%s\n", error->message), 2;
    GstElement* camera = gst_bin_get_by_name(GST_BIN(pipeline), "camera");
    GstPad* pad = gst_element_get_static_pad(camera, "src");
    GstBuffer* kept = nullptr;
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, KeepFirst, &kept, nullptr);
    gst_object_unref(pad);
    gst_object_unref(camera);

    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* end = gst_bus_timed_pop_filtered(
        bus, 30 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const bool eos = end && GST_MESSAGE_TYPE(end) == GST_MESSAGE_EOS;
    if (end) gst_message_unref(end);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    if (!eos || !kept) return std::fprintf(stderr, "no frame\n"), 3;

    std::printf("loaded-after-stop=%d\n", IsLoaded(argv[1]));
    GstMapInfo map;
    if (!gst_buffer_map(kept, &map, GST_MAP_READ)) return 4;
    const uint32_t counter = TestPattern::ReadCounter(map.data, 640, 2560);
    std::vector<uint8_t> pattern(640 * 480 * 4);
    TestPattern::Draw(pattern.data(), 640, 480, 2560, counter);
    const bool intact =
        map.size == pattern.size() && std::memcmp(map.data, pattern.data(), map.size) == 0;
    std::printf("counter=%u intact=%d\n", counter, intact);
    gst_buffer_unmap(kept, &map);
    gst_buffer_unref(kept);
    std::printf("loaded-after-free=%d\n", IsLoaded(argv[1]));
    return 0;
}
