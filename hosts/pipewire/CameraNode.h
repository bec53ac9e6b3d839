#pragma once

// The camera as a PipeWire video source node (Video/Source, role Camera, "vistrel-camera"), on a
// thread loop of PipeWire's. It drives its own graph: each frame the host offers goes out at once,
// so the broadcast's pace is the node's; it advertises that pace, 30 frames a second divided by
// the broadcast's factor. A frame for which every buffer is still with a consumer is dropped,
// never waited for.
#include "hosts/pipewire/NodeFormats.h"

#include <pipewire/pipewire.h>

#include <chrono>
#include <cstdint>
#include <string>

namespace vistrel_pipewire {

class CameraNode {
public:
    CameraNode(pw_thread_loop* loop, int factor) : mLoop(loop), mFactor(factor) {}
    ~CameraNode();
    CameraNode(const CameraNode&) = delete;
    CameraNode& operator=(const CameraNode&) = delete;

    // Connects to the PipeWire daemon and offers the node; false, with why, when there is none.
    bool Connect(std::string& why);
    void Disconnect();
    // The daemon went away (a restart) or dropped the node: disconnect and connect again.
    bool Lost() const;
    // Whether a consumer takes frames; waits up to the time for one while none does.
    bool WaitForConsumer(std::chrono::milliseconds wait);
    // Sends a 640x480 frame of A, R, G, B bytes in the format the consumers agreed on: one pass
    // from the host's source into a buffer of the node.
    void Offer(const uint8_t* argb);
    // Sends the last frame again.
    void Repeat();

private:
    struct Events;
    class Locked;

    // Fills a free buffer and sends it; a frame with none free is dropped.
    template <typename Fill> void Send(const Fill& fill);

    pw_thread_loop* mLoop;
    const int mFactor;
    pw_context* mContext = nullptr;
    pw_core* mCore = nullptr;
    pw_stream* mStream = nullptr;
    spa_hook mStreamListener{};
    const NodeFormat* mFormat = nullptr; // set by the loop when a format is agreed on
    pw_buffer* mLast = nullptr;          // the buffer that holds the last frame sent
    bool mStreaming = false;
    bool mLost = false;
    uint64_t mSequence = 0;
};

} // namespace vistrel_pipewire
