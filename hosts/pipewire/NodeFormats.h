#pragma once

// The raw formats the camera node offers, and how a channel frame (640x480, A, R, G, B bytes)
// becomes each: one library pass from the host's copy into the node's buffer.
#include <spa/param/video/raw.h>

#include <cstdint>
#include <span>

namespace vistrel_pipewire {

struct NodeFormat {
    spa_video_format format;
    int32_t stride; // bytes of a row of the first plane
    uint32_t size;  // bytes of a frame
    void (*convert)(const uint8_t* argb, uint8_t* into);
};

// The most preferred first: the channel's own order, then the orders and subsamplings that
// consumers ask for most.
std::span<const NodeFormat> NodeFormats();

// The format of that kind, or null when the node does not offer it.
const NodeFormat* FindNodeFormat(uint32_t format);

} // namespace vistrel_pipewire
