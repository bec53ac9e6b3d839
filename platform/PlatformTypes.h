#pragma once

#include <cstdint>

// The few scalar types every stand-in layer and the system's code share.
namespace platform {

using OSErr = int16_t;

constexpr OSErr kNoErr = 0;
constexpr OSErr kIoErr = -36;
constexpr OSErr kFnfErr = -43;
constexpr OSErr kParamErr = -50;

// Four characters packed most significant byte first: FourCC("raw ") == 0x72617720.
constexpr uint32_t FourCC(const char (&c)[5]) {
    return uint32_t(uint8_t(c[0])) << 24 | uint32_t(uint8_t(c[1])) << 16 |
           uint32_t(uint8_t(c[2])) << 8 | uint32_t(uint8_t(c[3]));
}

} // namespace platform
