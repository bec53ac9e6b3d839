#include "hosts/gstreamer/GstVistrelSrc.h"

#include "hosts/camera/VistrelCamera.h"

GST_DEBUG_CATEGORY_STATIC(vistrel_src_debug);
#define GST_CAT_DEFAULT vistrel_src_debug

struct _GstVistrelSrc {
    GstPushSrc parent;
    VistrelCamera* camera;
    GstBufferPool* frames; // each frame's copy; reused, so its pages are not touched anew
    GstBuffer* last;       // the newest frame, shown again while no new one comes
    gint flushing;
};

G_DEFINE_TYPE(GstVistrelSrc, gst_vistrel_src, GST_TYPE_PUSH_SRC)

namespace {

constexpr GstClockTime kFrameDuration = GST_SECOND / VistrelCamera::kFramesPerSecond;

GstStaticPadTemplate sSourceTemplate =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS,
                            GST_STATIC_CAPS("video/x-raw, format=(string)ARGB, width=(int)640, "
                                            "height=(int)480, framerate=(fraction)30/1"));

// Posts the reason a camera did not open, under the error code that fits it best.
void PostOpenFailure(GstVistrelSrc* self, const VistrelCamera::OpenResult& opened) {
    const char* message = opened.message.c_str();
    const char* detail = opened.detail.c_str();
    switch (opened.failure) {
    case VistrelCamera::Failure::kNotInstalled:
    case VistrelCamera::Failure::kNoChannel:
        GST_ELEMENT_ERROR(self, RESOURCE, NOT_FOUND, ("%s", message), ("%s", detail));
        break;
    case VistrelCamera::Failure::kChannelUnreadable:
    case VistrelCamera::Failure::kConnectionsOff:
    case VistrelCamera::Failure::kProgramRefused:
        GST_ELEMENT_ERROR(self, RESOURCE, OPEN_READ, ("%s", message), ("%s", detail));
        break;
    case VistrelCamera::Failure::kNoMoreConnections:
        GST_ELEMENT_ERROR(self, RESOURCE, BUSY, ("%s", message), ("%s", detail));
        break;
    default:
        GST_ELEMENT_ERROR(self, RESOURCE, FAILED, ("%s", message), ("%s", detail));
        break;
    }
}

gboolean Stop(GstBaseSrc* base) {
    GstVistrelSrc* self = GST_VISTREL_SRC(base);
    // Buffers still downstream are copies of their own.
    if (self->camera) self->camera->Stop();
    self->camera = nullptr;
    gst_clear_buffer(&self->last);
    if (self->frames) {
        gst_buffer_pool_set_active(self->frames, FALSE);
        gst_object_unref(self->frames);
        self->frames = nullptr;
    }
    return TRUE;
}

gboolean Start(GstBaseSrc* base) {
    GstVistrelSrc* self = GST_VISTREL_SRC(base);
    const VistrelCamera::OpenResult opened = VistrelCamera::Open();
    if (!opened.camera) {
        PostOpenFailure(self, opened);
        return FALSE;
    }
    GST_INFO_OBJECT(self, "Vistrel camera open");
    self->camera = opened.camera;
    self->frames = gst_buffer_pool_new();
    GstStructure* config = gst_buffer_pool_get_config(self->frames);
    gst_buffer_pool_config_set_params(config, nullptr, vistrel_digitizer::kFrameSizeBytes, 2, 0);
    if (!gst_buffer_pool_set_config(self->frames, config) ||
        !gst_buffer_pool_set_active(self->frames, TRUE)) {
        Stop(base);
        GST_ELEMENT_ERROR(self, RESOURCE, NO_SPACE_LEFT, ("Out of memory for camera frames"),
                          (nullptr));
        return FALSE;
    }
    return TRUE;
}

gboolean Unlock(GstBaseSrc* base) {
    GstVistrelSrc* self = GST_VISTREL_SRC(base);
    g_atomic_int_set(&self->flushing, 1);
    if (self->camera) self->camera->WakeUp();
    return TRUE;
}

gboolean UnlockStop(GstBaseSrc* base) {
    g_atomic_int_set(&GST_VISTREL_SRC(base)->flushing, 0);
    return TRUE;
}

gboolean Query(GstBaseSrc* base, GstQuery* query) {
    if (GST_QUERY_TYPE(query) == GST_QUERY_LATENCY) {
        // A frame is ready one frame time after its moment. Each is a copy and the digitizer
        // always has the newest, so downstream may take as long as it likes: no upper bound,
        // which leaves room for the latency that sinks and queues add.
        gst_query_set_latency(query, TRUE, kFrameDuration, GST_CLOCK_TIME_NONE);
        return TRUE;
    }
    return GST_BASE_SRC_CLASS(gst_vistrel_src_parent_class)->query(base, query);
}

GstFlowReturn Create(GstPushSrc* push, GstBuffer** buffer) {
    GstVistrelSrc* self = GST_VISTREL_SRC(push);
    if (!self->camera) return GST_FLOW_FLUSHING;
    GstBuffer* frame = nullptr;
    if (gst_buffer_pool_acquire_buffer(self->frames, &frame, nullptr) != GST_FLOW_OK)
        return GST_FLOW_FLUSHING;
    GstMapInfo map;
    if (!gst_buffer_map(frame, &map, GST_MAP_WRITE)) {
        if (frame) gst_buffer_unref(frame);
        GST_ELEMENT_ERROR(self, RESOURCE, NO_SPACE_LEFT, ("Out of memory for a camera frame"),
                          (nullptr));
        return GST_FLOW_ERROR;
    }
    std::string detail;
    const auto cancelled = [self] { return g_atomic_int_get(&self->flushing) != 0; };
    VistrelCamera::Clock::duration late{};
    const VistrelCamera::Next next = self->camera->NextFrame(cancelled, map.data, late, detail);
    if (next == VistrelCamera::Next::kRepeat) gst_buffer_extract(self->last, 0, map.data, map.size);
    gst_buffer_unmap(frame, &map);
    if (next != VistrelCamera::Next::kFrame && next != VistrelCamera::Next::kRepeat) {
        gst_buffer_unref(frame);
        if (next == VistrelCamera::Next::kCancelled) return GST_FLOW_FLUSHING;
        GST_ELEMENT_ERROR(self, RESOURCE, READ, ("The Vistrel camera stopped delivering frames"),
                          ("%s", detail.c_str()));
        return GST_FLOW_ERROR;
    }
    *buffer = frame;
    // The frame's moment in the schedule on the pipeline's clock.
    if (GstClock* clock = gst_element_get_clock(GST_ELEMENT(self))) {
        const GstClockTime now =
            gst_clock_get_time(clock) - gst_element_get_base_time(GST_ELEMENT(self));
        const auto lateness = GstClockTime(std::chrono::nanoseconds(late).count());
        GST_BUFFER_PTS(frame) = now > lateness ? now - lateness : 0;
        gst_object_unref(clock);
    }
    GST_BUFFER_DURATION(*buffer) = kFrameDuration;
    if (next == VistrelCamera::Next::kFrame) gst_buffer_replace(&self->last, frame);
    return GST_FLOW_OK;
}

} // namespace

static void gst_vistrel_src_class_init(GstVistrelSrcClass* klass) {
    GST_DEBUG_CATEGORY_INIT(vistrel_src_debug, "vistrelsrc", 0, "Vistrel camera source");
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    gst_element_class_set_static_metadata(
        element, "Vistrel camera", "Source/Video",
        "The Vistrel broadcast as a live camera: 640x480 ARGB frames from the Vistrel video "
        "digitizer",
        "The Vistrel developers");
    gst_element_class_add_static_pad_template(element, &sSourceTemplate);

    GstBaseSrcClass* base = GST_BASE_SRC_CLASS(klass);
    base->start = Start;
    base->stop = Stop;
    base->unlock = Unlock;
    base->unlock_stop = UnlockStop;
    base->query = Query;
    GST_PUSH_SRC_CLASS(klass)->create = Create;
}

static void gst_vistrel_src_init(GstVistrelSrc* self) {
    self->camera = nullptr;
    self->frames = nullptr;
    self->last = nullptr;
    self->flushing = 0;
    gst_base_src_set_live(GST_BASE_SRC(self), TRUE);
    gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_TIME);
    gst_base_src_set_do_timestamp(GST_BASE_SRC(self), FALSE);
}
