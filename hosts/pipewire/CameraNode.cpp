#include "hosts/pipewire/CameraNode.h"

#include "hosts/camera/VistrelCamera.h"

#include <spa/buffer/meta.h>
#include <spa/param/buffers.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

namespace vistrel_pipewire {

// Everything the node holds is touched with the loop's lock held: its callbacks run with it.
class CameraNode::Locked {
public:
    explicit Locked(pw_thread_loop* loop) : mLoop(loop) { pw_thread_loop_lock(loop); }
    ~Locked() { pw_thread_loop_unlock(mLoop); }
    Locked(const Locked&) = delete;

private:
    pw_thread_loop* mLoop;
};

struct CameraNode::Events {
    static void StateChanged(void* data, pw_stream_state, pw_stream_state state, const char*) {
        auto* node = static_cast<CameraNode*>(data);
        node->mStreaming = state == PW_STREAM_STATE_STREAMING;
        // The daemon went away (its connection broke) or dropped the node.
        if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED)
            node->mLost = true;
        pw_thread_loop_signal(node->mLoop, false);
    }

    // A consumer agreed on a format: buffers of its size, mapped here, with a header each.
    static void ParamChanged(void* data, uint32_t id, const spa_pod* param) {
        auto* node = static_cast<CameraNode*>(data);
        if (id != SPA_PARAM_Format) return;
        node->mFormat = nullptr;
        spa_video_info_raw info{};
        if (!param || spa_format_video_raw_parse(param, &info) < 0) return;
        node->mFormat = FindNodeFormat(info.format);
        if (!node->mFormat) return;
        uint8_t storage[512];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(storage, sizeof storage);
        const spa_pod* params[2];
        params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
            SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
            SPA_PARAM_BUFFERS_size, SPA_POD_Int(int32_t(node->mFormat->size)),
            SPA_PARAM_BUFFERS_stride, SPA_POD_Int(node->mFormat->stride),
            SPA_PARAM_BUFFERS_dataType,
            SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
        params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
            SPA_POD_Id(SPA_META_Header), SPA_PARAM_META_size,
            SPA_POD_Int(int32_t(sizeof(spa_meta_header)))));
        pw_stream_update_params(node->mStream, params, 2);
    }

    static void RemoveBuffer(void* data, pw_buffer* buffer) {
        auto* node = static_cast<CameraNode*>(data);
        if (node->mLast == buffer) node->mLast = nullptr;
    }

    static pw_stream_events Stream() {
        pw_stream_events events{};
        events.version = PW_VERSION_STREAM_EVENTS;
        events.state_changed = StateChanged;
        events.param_changed = ParamChanged;
        events.remove_buffer = RemoveBuffer;
        return events;
    }
    static inline const pw_stream_events kStream = Stream();
};

namespace {

// One EnumFormat per format, in the order of preference, all 640x480 at the broadcast's rate.
std::vector<const spa_pod*> EnumFormats(spa_pod_builder& builder, int factor) {
    spa_rectangle size{vistrel_digitizer::kFrameWidth, vistrel_digitizer::kFrameHeight};
    spa_fraction rate{VistrelCamera::kFramesPerSecond, uint32_t(factor)};
    std::vector<const spa_pod*> formats;
    for (const NodeFormat& format : NodeFormats())
        formats.push_back(static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
            SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
            SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format, SPA_POD_Id(format.format),
            SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate,
            SPA_POD_Fraction(&rate))));
    return formats;
}

} // namespace

bool CameraNode::Connect(std::string& why) {
    Locked locked(mLoop);
    mLost = false;
    // The context (its modules loaded and configuration read) outlives the connections: made
    // anew for each retry, it cost a process without a daemon far more than the retry itself.
    if (!mContext) mContext = pw_context_new(pw_thread_loop_get_loop(mLoop), nullptr, 0);
    mCore = mContext ? pw_context_connect(mContext, nullptr, 0) : nullptr;
    if (!mCore) {
        why = std::strerror(errno);
        return false;
    }
    mStream = pw_stream_new(mCore, "vistrel-camera",
                            pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                              "Capture", PW_KEY_MEDIA_CLASS, "Video/Source",
                                              PW_KEY_MEDIA_ROLE, "Camera", PW_KEY_NODE_NAME,
                                              "vistrel-camera", PW_KEY_NODE_DESCRIPTION, "Vistrel",
                                              nullptr));
    if (!mStream) {
        why = std::strerror(errno);
        return false;
    }
    pw_stream_add_listener(mStream, &mStreamListener, &Events::kStream, this);
    uint8_t storage[2048];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(storage, sizeof storage);
    std::vector<const spa_pod*> formats = EnumFormats(builder, mFactor);
    const int result =
        pw_stream_connect(mStream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
                          pw_stream_flags(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS),
                          formats.data(), uint32_t(formats.size()));
    if (result < 0) why = std::strerror(-result);
    return result >= 0;
}

void CameraNode::Disconnect() {
    Locked locked(mLoop);
    if (mStream) pw_stream_destroy(mStream);
    if (mCore) pw_core_disconnect(mCore);
    mStream = nullptr;
    mCore = nullptr;
    mFormat = nullptr;
    mLast = nullptr;
    mStreaming = false;
}

CameraNode::~CameraNode() {
    Disconnect();
    Locked locked(mLoop);
    if (mContext) pw_context_destroy(mContext);
}

bool CameraNode::Lost() const {
    Locked locked(mLoop);
    return mLost;
}

bool CameraNode::WaitForConsumer(std::chrono::milliseconds wait) {
    Locked locked(mLoop);
    if (!mStreaming && !mLost) {
        timespec until{};
        pw_thread_loop_get_time(mLoop, &until, wait.count() * SPA_NSEC_PER_MSEC);
        pw_thread_loop_timed_wait_full(mLoop, &until);
    }
    return mStreaming && mFormat;
}

template <typename Fill> void CameraNode::Send(const Fill& fill) {
    if (!mStreaming || !mFormat) return;
    pw_buffer* buffer = pw_stream_dequeue_buffer(mStream);
    if (!buffer) return; // every buffer is still with a consumer
    spa_data& data = buffer->buffer->datas[0];
    data.chunk->size = 0;
    if (data.data && data.maxsize >= mFormat->size) {
        fill(static_cast<uint8_t*>(data.data));
        data.chunk->offset = 0;
        data.chunk->size = mFormat->size;
        data.chunk->stride = mFormat->stride;
        mLast = buffer;
        if (auto* header = static_cast<spa_meta_header*>(spa_buffer_find_meta_data(
                buffer->buffer, SPA_META_Header, sizeof(spa_meta_header)))) {
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            header->pts = SPA_TIMESPEC_TO_NSEC(&now);
            header->flags = 0;
            header->seq = mSequence++;
            header->dts_offset = 0;
        }
    }
    pw_stream_queue_buffer(mStream, buffer);
    pw_stream_trigger_process(mStream);
}

void CameraNode::Offer(const uint8_t* argb) {
    Locked locked(mLoop);
    Send([&](uint8_t* into) { mFormat->convert(argb, into); });
}

// Consumers only read what they are sent, so the last buffer holds the last frame even while one
// of them has it. With buffers new since, there is nothing to send again.
void CameraNode::Repeat() {
    Locked locked(mLoop);
    if (!mLast) return;
    const void* last = mLast->buffer->datas[0].data;
    Send([&](uint8_t* into) {
        if (into != last) std::memcpy(into, last, mFormat->size);
    });
}

} // namespace vistrel_pipewire
