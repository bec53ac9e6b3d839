#include "pixels/PixelPaths.h"

#include <cstdlib>
#include <cstring>

namespace PixelPaths {

bool ReferenceRequested() {
    const char* reference = std::getenv("VISTREL_PIXELS_REFERENCE");
    return reference && *reference && std::strcmp(reference, "0") != 0;
}

bool HasSSSE3() {
    return __builtin_cpu_supports("ssse3");
}

bool HasAVX2() {
    return __builtin_cpu_supports("avx2");
}

} // namespace PixelPaths
