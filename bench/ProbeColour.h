#pragma once

// The colours a changing screen shows so that its reader can tell which change a frame shows:
// a number of steps, each a solid colour that survives stretching and the frame's conversions.
#include <cstdint>

namespace broadcastbench {

constexpr int kProbeSteps = 64;

// 0x00RRGGBB of a step.
inline uint32_t ProbeColour(int step) {
    const auto level = [&](int shift) { return uint32_t(((step >> shift) & 3) * 64 + 32); };
    return level(4) << 16 | level(2) << 8 | level(0);
}

// The step (modulo kProbeSteps) an ARGB pixel shows.
inline int ProbeStep(const uint8_t* argb) {
    return (argb[1] / 64) << 4 | (argb[2] / 64) << 2 | argb[3] / 64;
}

} // namespace broadcastbench
