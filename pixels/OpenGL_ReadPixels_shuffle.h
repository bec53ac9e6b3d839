#pragma once

// The byte-shuffle control that does a whole Swizzle on four pixels (16 bytes) at once.
#include "pixels/OpenGL_ReadPixels_paths.h"

#include <array>

namespace OpenGL::ReadPixels::paths {

template <Swizzle S> constexpr std::array<char, 16> ShuffleControl() {
    std::array<char, 16> control{};
    for (int pixel = 0; pixel < 4; ++pixel) {
        const int from = S.mirror ? 3 - pixel : pixel;
        for (int byte = 0; byte < 4; ++byte) {
            const int sourceByte = S.order == Order::Reverse ? 3 - byte : byte == 3 ? 3 : 2 - byte;
            control[4 * pixel + byte] = static_cast<char>(4 * from + sourceByte);
        }
    }
    return control;
}

} // namespace OpenGL::ReadPixels::paths
