#pragma once

// The eight row converters described once each, and the forms that run them: a plain form byte
// by byte, and vectorised forms (SSE2 shifts and masks; SSSE3 and AVX2 byte shuffles) that give
// the same bytes. Vector forms finish a row's last pixels one 32-bit word at a time.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

namespace OpenGL::ReadPixels::paths {

enum class Order {
    Reverse,     // s3 s2 s1 s0: GL BGRA to ARGB
    SwapRedBlue, // s2 s1 s0 s3: GL BGRA to RGBA
};

struct Swizzle {
    Order order;
    bool opaque; // the alpha byte becomes 255
    bool mirror; // the pixel read at offset k lands at rowBytes - 4 - k
};

enum Kind : int { kBGRA_to_ARGB, kBGRX_to_ARGB, kBGRA_to_RGBA, kBGRX_to_RGBA, kKinds };
constexpr int kConverters = 2 * kKinds; // the plain ones, then their _flip_LR twins

constexpr Swizzle Describe(int index) {
    const int kind = index % kKinds;
    const bool mirror = index >= kKinds;
    const Order order =
        kind == kBGRA_to_ARGB || kind == kBGRX_to_ARGB ? Order::Reverse : Order::SwapRedBlue;
    // The mirroring twin of BGRA to ARGB has always written an opaque alpha.
    const bool opaque =
        kind == kBGRX_to_ARGB || kind == kBGRX_to_RGBA || (mirror && kind == kBGRA_to_ARGB);
    return Swizzle{order, opaque, mirror};
}

// The alpha byte's place in a little-endian word of the destination.
constexpr uint32_t AlphaMask(Order order) {
    return order == Order::Reverse ? 0x000000FFu : 0xFF000000u;
}

using ScanlineFn = void (*)(void* destination, const void* source, size_t rowBytes);

struct Path {
    const char* name; // "reference", "sse2", "ssse3" or "avx2"
    ScanlineFn row[kConverters];
};

// A path's table from a class template whose Convert implements one Swizzle.
template <template <Swizzle> class Row, int... index>
constexpr Path MakePath(const char* name, std::integer_sequence<int, index...>) {
    return Path{name, {&Row<Describe(index)>::Convert...}};
}
template <template <Swizzle> class Row> constexpr Path MakePath(const char* name) {
    return MakePath<Row>(name, std::make_integer_sequence<int, kConverters>{});
}

extern const Path kReference;
extern const Path kSSE2;
extern const Path kSSSE3; // callable only where CoreVectorUnit::Runs(kSSSE3)
extern const Path kAVX2;  // callable only where CoreVectorUnit::Runs(kAVX2)

// Chosen once per process: the plain form on request, else the widest this processor runs.
const Path& Selected();

// One pixel as a little-endian word (w = s0 | s1 << 8 | s2 << 16 | s3 << 24).
template <Swizzle S> inline uint32_t SwizzleWord(uint32_t w) {
    uint32_t result;
    if constexpr (S.order == Order::Reverse) {
        result = __builtin_bswap32(w);
    } else {
        result = ((w >> 16) & 0xFFu) | (w & 0xFF00u) | ((w << 16) & 0xFF0000u) | (w & 0xFF000000u);
    }
    if constexpr (S.opaque) result |= AlphaMask(S.order);
    return result;
}

// Pixels from byte offset k to the row's end, word by word.
template <Swizzle S>
inline void WordTail(uint8_t* destination, const uint8_t* source, size_t rowBytes, size_t k) {
    for (; k + 4 <= rowBytes; k += 4) {
        uint32_t w;
        std::memcpy(&w, source + k, 4);
        w = SwizzleWord<S>(w);
        std::memcpy(destination + (S.mirror ? rowBytes - 4 - k : k), &w, 4);
    }
}

} // namespace OpenGL::ReadPixels::paths
