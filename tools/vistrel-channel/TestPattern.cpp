#include "tools/vistrel-channel/TestPattern.h"

#include <cstddef>

namespace TestPattern {
namespace {
constexpr int kBits = 32;
}

void Draw(uint8_t* frame, int width, int height, int rowBytes, uint32_t counter) {
    const int block = width / kBits;
    for (int y = 0; y < height; ++y) {
        uint8_t* p = frame + y * rowBytes;
        for (int x = 0; x < width; ++x, p += 4) {
            p[0] = 0xFF;
            if (y < kCounterRows && x < block * kBits) {
                const bool bit = (counter >> (kBits - 1 - x / block)) & 1;
                p[1] = p[2] = p[3] = bit ? 0xFF : 0x00;
                continue;
            }
            p[1] = uint8_t(x + counter * 4);
            p[2] = uint8_t(y + counter * 2);
            p[3] = uint8_t((x ^ y) + counter);
        }
    }
}

uint32_t ReadCounter(const uint8_t* frame, int width, int rowBytes) {
    const int block = width / kBits;
    const uint8_t* row = frame + (kCounterRows / 2) * rowBytes;
    uint32_t counter = 0;
    for (int bit = 0; bit < kBits; ++bit)
        counter = counter << 1 | (row[(bit * block + block / 2) * 4 + 1] >= 0x80 ? 1 : 0);
    return counter;
}

uint64_t Checksum(const uint8_t* frame, int height, int rowBytes) {
    uint64_t hash = 0xcbf29ce484222325ull;
    const uint8_t* end = frame + size_t(height) * size_t(rowBytes);
    for (const uint8_t* p = frame; p != end; ++p)
        hash = (hash ^ *p) * 0x100000001b3ull;
    return hash;
}

} // namespace TestPattern
