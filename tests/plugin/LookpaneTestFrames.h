#pragma once

// The frames the test component serves, known to the tests that check what came out.
#include "pixels/Q_2vuy_format.h"

#include <cstdint>
#include <dlfcn.h>
#include <vector>

namespace lookpane_test {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr uint32_t kFormatBGRA = 0x42475241; // a format no pixel buffer takes

inline void Draw2vuy(uint8_t* frame) {
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth * 2; ++x)
            frame[y * kWidth * 2 + x] =
                uint8_t(x % 4 == 1 || x % 4 == 3 ? 16 + (x + y) % 220 : 40 + (x * 3 + y) % 180);
}

// The 2vuy frame as the decoder turns it into A, R, G, B bytes.
inline std::vector<uint8_t> Decoded2vuy() {
    std::vector<uint8_t> source(kWidth * kHeight * 2), argb(kWidth * kHeight * 4);
    Draw2vuy(source.data());
    for (int y = 0; y < kHeight; ++y)
        Q_2vuy_data::ConvertScanline_2vuy_to_ARGB(&source[y * kWidth * 2], &argb[y * kWidth * 4],
                                                  kWidth);
    return argb;
}

inline void DrawARGB(uint8_t* frame, uint8_t salt) {
    for (int i = 0; i < kWidth * kHeight; ++i) {
        frame[4 * i] = 255;
        frame[4 * i + 1] = uint8_t(i + salt);
        frame[4 * i + 2] = uint8_t(i >> 8);
        frame[4 * i + 3] = uint8_t(i >> 3 ^ salt);
    }
}

// Exported by the component: lock and unlock calls, and nanoseconds between them.
struct LockStats {
    uint64_t locks;
    uint64_t unlocks;
    uint64_t heldNanoseconds;
};
using LockStatsFn = LockStats (*)();
using ARGBFrameFn = uint8_t* (*)();

// A function the test component at `object` exports, while the plug-in keeps it loaded.
template <typename Function> Function ComponentExport(const char* object, const char* name) {
    void* handle = ::dlopen(object, RTLD_NOW | RTLD_NOLOAD);
    if (handle) ::dlclose(handle);
    return handle ? reinterpret_cast<Function>(::dlsym(handle, name)) : nullptr;
}

} // namespace lookpane_test
