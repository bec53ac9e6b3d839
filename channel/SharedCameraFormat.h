#pragma once

#include "platform/PlatformTypes.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The camera frame and the region file are contracts between processes and between the 32-bit
// and 64-bit builds: every size and offset here is fixed.
namespace SharedCamera {

constexpr int kFrameWidth = 640;
constexpr int kFrameHeight = 480;
constexpr int kFrameRowBytes = 2560;
constexpr int kFrameSizeBytes = 1228800;
constexpr uint32_t kFramePixelFormat = platform::FourCC("raw ");
constexpr const char* kFrameFormatName = "640x480-ARGB";

constexpr const char* kFileMappingFormat = "/tmp/com-tarnwick-%@-Vstrl-1.705-%s.tmp";
// The buffers' locks are per user: these names, then "." and the user id ("VistrelXXX_0.1000").
constexpr const char* kSemaphoreName0 = "VistrelXXX_0";
constexpr const char* kSemaphoreName1 = "VistrelXXX_1";
inline std::string SemaphoreName(unsigned n, unsigned long uid) {
    return std::string(n == 0 ? kSemaphoreName0 : kSemaphoreName1) + "." + std::to_string(uid);
}

constexpr uint32_t kApplicationSignature = platform::FourCC("Vstr");
constexpr uint32_t kApplicationVersion = platform::FourCC("1.00");
constexpr uint32_t kBufferTag0 = 0x11111111;
constexpr uint32_t kBufferTag1 = 0x22222222;
constexpr uint32_t kNoBufferTag = 0;
constexpr uint32_t kNoCameraConnections = 0xFFFFFFFF;
constexpr uint32_t kUnlimitedCameraConnections = 0;

// The mapped file, byte for byte.
struct Region {
    uint32_t appSignature;
    uint32_t appVersion;
    uint8_t reserved0[1016];
    uint8_t frameBuffer0[kFrameSizeBytes];
    uint8_t reserved1[1024];
    uint8_t frameBuffer1[kFrameSizeBytes];
    uint8_t reserved2[512];
    uint32_t currentBufferTag;
    uint32_t allowedConnections;
    uint32_t trailerSignature;
    uint8_t reserved3[500];
};

constexpr unsigned long kRegionSizeBytes = 2460672;

static_assert(kFrameRowBytes == kFrameWidth * 4);
static_assert(kFrameSizeBytes == kFrameRowBytes * kFrameHeight);
static_assert(kFramePixelFormat == 0x72617720);
static_assert(kApplicationVersion == 0x312E3030);
static_assert(sizeof(Region) == kRegionSizeBytes && kRegionSizeBytes == 2403 * 1024);
static_assert(offsetof(Region, appSignature) == 0);
static_assert(offsetof(Region, appVersion) == 4);
static_assert(offsetof(Region, reserved0) == 8);
static_assert(offsetof(Region, frameBuffer0) == 1024);
static_assert(offsetof(Region, reserved1) == 1229824);
static_assert(offsetof(Region, frameBuffer1) == 1230848);
static_assert(offsetof(Region, reserved2) == 2459648);
static_assert(offsetof(Region, currentBufferTag) == 2460160);
static_assert(offsetof(Region, allowedConnections) == 2460164);
static_assert(offsetof(Region, trailerSignature) == 2460168);
static_assert(offsetof(Region, reserved3) == 2460172);

} // namespace SharedCamera
