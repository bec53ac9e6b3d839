#include "hosts/pipewire/NodeFormats.h"

#include "hosts/camera/VistrelCamera.h"

#include <libyuv/convert.h>
#include <libyuv/convert_argb.h>
#include <libyuv/convert_from_argb.h>

#include <cstring>

namespace vistrel_pipewire {

namespace {

constexpr int kWidth = vistrel_digitizer::kFrameWidth, kHeight = vistrel_digitizer::kFrameHeight;
constexpr int kRowBytes = vistrel_digitizer::kFrameRowBytes;
constexpr uint32_t kLumaBytes = kWidth * kHeight, kChromaBytes = kLumaBytes / 4;

// libyuv names a pixel by its little-endian word: its "BGRA" is the channel's A, R, G, B bytes and
// its "ARGB" is B, G, R, A bytes.
void Copy(const uint8_t* argb, uint8_t* into) {
    std::memcpy(into, argb, size_t(kRowBytes) * kHeight);
}

void ToBGRA(const uint8_t* argb, uint8_t* into) {
    libyuv::BGRAToARGB(argb, kRowBytes, into, kRowBytes, kWidth, kHeight);
}

void ToI420(const uint8_t* argb, uint8_t* into) {
    uint8_t* u = into + kLumaBytes;
    libyuv::BGRAToI420(argb, kRowBytes, into, kWidth, u, kWidth / 2, u + kChromaBytes, kWidth / 2,
                       kWidth, kHeight);
}

// libyuv packs YUY2 only from B, G, R, A bytes: a row at a time through one row of those.
void ToYUY2(const uint8_t* argb, uint8_t* into) {
    uint8_t row[kRowBytes];
    for (int y = 0; y < kHeight; ++y) {
        libyuv::BGRAToARGB(argb + y * kRowBytes, kRowBytes, row, kRowBytes, kWidth, 1);
        libyuv::ARGBToYUY2(row, kRowBytes, into + y * kWidth * 2, kWidth * 2, kWidth, 1);
    }
}

constexpr NodeFormat kFormats[] = {
    {SPA_VIDEO_FORMAT_ARGB, kRowBytes, kRowBytes* kHeight, Copy},
    {SPA_VIDEO_FORMAT_BGRx, kRowBytes, kRowBytes* kHeight, ToBGRA},
    {SPA_VIDEO_FORMAT_BGRA, kRowBytes, kRowBytes* kHeight, ToBGRA},
    {SPA_VIDEO_FORMAT_I420, kWidth, kLumaBytes + 2 * kChromaBytes, ToI420},
    {SPA_VIDEO_FORMAT_YUY2, kWidth * 2, kWidth * 2 * kHeight, ToYUY2},
};

} // namespace

std::span<const NodeFormat> NodeFormats() {
    return kFormats;
}

const NodeFormat* FindNodeFormat(uint32_t format) {
    for (const NodeFormat& candidate : kFormats)
        if (candidate.format == format) return &candidate;
    return nullptr;
}

} // namespace vistrel_pipewire
