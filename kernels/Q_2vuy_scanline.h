#pragma once

#include <cstdint>

// The 2vuy row conversions: ARGB is A, R, G, B bytes per pixel, 2vuy is Cb, Y0, Cr, Y1 per pixel
// pair (an odd width's last pixel has only its Cb and Y), in a plain form and in vectorised forms
// that give the same bytes; callers take the form from the kernel table. The plain form follows the
// formulas step by step; the vectorised forms stay in single precision with rounding shortcuts that
// are exact for these conversions (listed in Q_2vuy_scanline_sse2.cpp) and hand their last few
// pixels to the plain per-pair code.
namespace Q_2vuy_scanline {

using ScanlineFn = void (*)(const uint8_t* src, uint8_t* dst, int width);

// Decoding coefficients.
constexpr float kLumaExpansion = 1.1643828f;
constexpr float kRFromCr = 1.7927421f;
constexpr float kGFromCb = 0.21325f;    // subtracted
constexpr float kGFromCr = 0.53291017f; // subtracted
constexpr float kBFromCb = 2.1124024f;
// Encoding coefficients: luma weights and the chroma scales 0.5 / (1 - Kb) and 0.5 / (1 - Kr).
constexpr float kKr = 0.2125f;
constexpr float kKg = 0.7154f;
constexpr float kKb = 0.0721f;
constexpr float kKu = 0.5388511f;
constexpr float kKv = 0.6349207f;
// Video range: luma 219/256 and chroma 224/256 of full scale, not /255.
constexpr float kLumaScale = 219.0f;
constexpr float kLumaDivisor = 256.0f;
constexpr float kChromaScale = 0.875f;
constexpr double kRoundingBias = 0.49999999;

inline int Nearest(float v) {
    return static_cast<int>(static_cast<double>(v) + kRoundingBias);
}
inline uint8_t Clamp255(int v) {
    return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

inline void DecodePixel(float y, float cb, float cr, uint8_t* argb) {
    argb[0] = 255;
    argb[1] = Clamp255(Nearest(y + kRFromCr * cr));
    argb[2] = Clamp255(Nearest(y - kGFromCb * cb - kGFromCr * cr));
    argb[3] = Clamp255(Nearest(y + kBFromCb * cb));
}

// Pixels [x, width) of a row, pair by pair; x is even.
inline void DecodeTail(const uint8_t* src, uint8_t* dst, int x, int width) {
    for (; x + 1 < width; x += 2) {
        const uint8_t* s = src + 2 * x;
        const float cb = static_cast<float>(s[0] - 128);
        const float cr = static_cast<float>(s[2] - 128);
        DecodePixel(kLumaExpansion * static_cast<float>(s[1] - 16), cb, cr, dst + 4 * x);
        DecodePixel(kLumaExpansion * static_cast<float>(s[3] - 16), cb, cr, dst + 4 * x + 4);
    }
    if (x < width) { // odd width: the row ends after this pixel's Cb and Y
        const uint8_t* s = src + 2 * x;
        DecodePixel(kLumaExpansion * static_cast<float>(s[1] - 16), static_cast<float>(s[0] - 128),
                    0.0f, dst + 4 * x);
    }
}

inline float Luma(float r, float g, float b) {
    return kKb * b + (kKr * r + kKg * g);
}
inline int LumaCode(float l) {
    return Nearest(l * kLumaScale / kLumaDivisor + 16.0f);
}
inline int ChromaCode(float c, float l, float k) {
    return Nearest((c - l) * k * kChromaScale + 128.0f);
}

// Pixels [x, width) of a row, pair by pair; x is even.
inline void EncodeTail(const uint8_t* src, uint8_t* dst, int x, int width) {
    for (; x < width; x += 2) {
        const uint8_t* p0 = src + 4 * x;
        const uint8_t* p1 = x + 1 < width ? p0 + 4 : p0; // odd width: the last pixel pairs itself
        const float r0 = p0[1], g0 = p0[2], b0 = p0[3];
        const float r1 = p1[1], g1 = p1[2], b1 = p1[3];
        const float l0 = Luma(r0, g0, b0), l1 = Luma(r1, g1, b1);
        uint8_t* d = dst + 2 * x;
        d[0] = static_cast<uint8_t>((ChromaCode(b1, l1, kKu) + ChromaCode(b0, l0, kKu)) >> 1);
        d[1] = static_cast<uint8_t>(LumaCode(l0));
        if (p1 == p0) break;
        d[2] = static_cast<uint8_t>((ChromaCode(r1, l1, kKv) + ChromaCode(r0, l0, kKv)) >> 1);
        d[3] = static_cast<uint8_t>(LumaCode(l1));
    }
}

void Reference_2vuy_to_ARGB(const uint8_t* src, uint8_t* dst, int width);
void Reference_ARGB_to_2vuy(const uint8_t* src, uint8_t* dst, int width);
void SSE2_2vuy_to_ARGB(const uint8_t* src, uint8_t* dst, int width);
void SSE2_ARGB_to_2vuy(const uint8_t* src, uint8_t* dst, int width);
void AVX2_2vuy_to_ARGB(const uint8_t* src, uint8_t* dst, int width);
void AVX2_ARGB_to_2vuy(const uint8_t* src, uint8_t* dst, int width);
void AVX512_2vuy_to_ARGB(const uint8_t* src, uint8_t* dst, int width);
void AVX512_ARGB_to_2vuy(const uint8_t* src, uint8_t* dst, int width);

} // namespace Q_2vuy_scanline
