#pragma once

// The pictures of a screen cast's PipeWire streams, one stream per monitor, each keeping its
// newest frame (a shared-memory buffer held until the next one comes) for grabs to read from.
// PipeWire runs on a thread of its own; a daemon or stream that stops is never waited on past a
// bound.
#include "platform/quartzdisplay/DisplayBackend.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform::coregraphics::portal {

class PipeWireFrames {
public:
    PipeWireFrames();
    ~PipeWireFrames();
    PipeWireFrames(const PipeWireFrames&) = delete;

    // Reads the nodes through the remote (whose descriptor it takes) until each has shown a
    // first frame; false with why when one does not.
    bool Start(int remote, const std::vector<uint32_t>& nodes, std::string& why);

    // The size of the stream's frames.
    void Size(size_t stream, int& width, int& height) const;

    // The part of the stream's newest frame, in the layout's pixels, the stream showing the
    // display, as packed opaque rows of display-image pixels; a frame of another size than the
    // display (a scaled monitor's) is sampled at each pixel's centre. False with why when the
    // stream has ended or shows nothing.
    bool Read(size_t stream, const ScreenDisplay& display, const ScreenArea& part, uint32_t* pixels,
              std::string& why) const;

    // How many frames the stream has had; one more once it has ended.
    uint64_t Frames(size_t stream) const;

private:
    struct Source;
    struct Events;
    struct Parts;
    std::unique_ptr<Parts> mParts;
};

} // namespace platform::coregraphics::portal
