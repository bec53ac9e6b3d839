#pragma once

// The 2vuy row loops of the 256- and 512-bit forms, written once. A form's file sets its target
// with a pragma before including this, and supplies a traits type V: the register types, how many
// pixels a step takes, and the few operations whose spelling differs by width (loads and stores
// that put the pixel pairs in the order the in-lane packs and interleaves need, broadcasting a
// 128-bit pattern to every lane, the rounding conversion, the word blend). Everything else is
// the same sequence of operations for both, so both give the same bytes (the reasons each rounding
// shortcut is exact are listed in Q_2vuy_scanline_sse2.cpp).
#include "kernels/Q_2vuy_scanline.h"

#include <immintrin.h>

namespace Q_2vuy_scanline::wide {

// Byte `index` of each 32-bit word, zero-extended.
template <class V> typename V::I ByteMask(int index) {
    const char i = static_cast<char>(index), z = -1;
    return V::Lanes(_mm_setr_epi8(i, z, z, z, i + 4, z, z, z, i + 8, z, z, z, i + 12, z, z, z));
}

template <class V> typename V::F Sample(typename V::I bytes, int offset) {
    return V::ToFloat(V::SubI(bytes, V::Is(offset)));
}

// One pixel of each pair of a step: its rounded R, G, B clamped and laid out as A, R, G, B.
template <class V>
typename V::I DecodePixels(typename V::F yHalf, typename V::F rc, typename V::F gb,
                           typename V::F gr, typename V::F bc) {
    // R0-R3 G0-G3 B0-B3 A0-A3 of each 128-bit lane into A R G B per pixel.
    const typename V::I toARGB =
        V::Lanes(_mm_setr_epi8(12, 0, 4, 8, 13, 1, 5, 9, 14, 2, 6, 10, 15, 3, 7, 11));
    const typename V::I r = V::CeilToInt(V::Add(yHalf, rc));
    const typename V::I g = V::CeilToInt(V::Sub(V::Sub(yHalf, gb), gr));
    const typename V::I b = V::CeilToInt(V::Add(yHalf, bc));
    // Signed then unsigned saturation is the clamp to 0...255.
    const typename V::I bytes = V::Packus16(V::Packs32(r, g), V::Packs32(b, V::Is(255)));
    return V::Shuffle(bytes, toARGB);
}

// Y codes and the unhalved Cb and Cr codes of one register of ARGB pixels.
template <class V>
void EncodePixels(typename V::I argb, typename V::I& y, typename V::I& cb, typename V::I& cr) {
    using F = typename V::F;
    const F r = V::ToFloat(V::Shuffle(argb, ByteMask<V>(1)));
    const F g = V::ToFloat(V::Shuffle(argb, ByteMask<V>(2)));
    const F b = V::ToFloat(V::template Srli32<24>(argb));
    const F l = V::Add(V::Mul(V::Fs(kKb), b), V::Add(V::Mul(V::Fs(kKr), r), V::Mul(V::Fs(kKg), g)));
    y = V::CeilToInt(V::Add(V::Mul(l, V::Fs(kLumaScale / kLumaDivisor)), V::Fs(15.5f)));
    const F scale = V::Fs(kChromaScale), centre = V::Fs(127.5f);
    cb = V::CeilToInt(V::Add(V::Mul(V::Mul(V::Sub(b, l), V::Fs(kKu)), scale), centre));
    cr = V::CeilToInt(V::Add(V::Mul(V::Mul(V::Sub(r, l), V::Fs(kKv)), scale), centre));
}

// Whole steps of the row; `tail` converts what is left, from pixel x on.
template <class V, ScanlineFn tail> void Decode(const uint8_t* src, uint8_t* dst, int width) {
    using F = typename V::F;
    using I = typename V::I;
    const F luma = V::Fs(kLumaExpansion), half = V::Fs(0.5f);
    const F rCr = V::Fs(kRFromCr), gCb = V::Fs(kGFromCb);
    const F gCr = V::Fs(kGFromCr), bCb = V::Fs(kBFromCb);
    const I y0Bytes = ByteMask<V>(1), crBytes = ByteMask<V>(2), lowByte = V::Is(0xFF);
    int x = 0;
    for (; x + V::kPixels <= width; x += V::kPixels) {
        const I pairs = V::LoadPairs(src + 2 * x);
        const F cb = Sample<V>(V::And(pairs, lowByte), 128);
        const F cr = Sample<V>(V::Shuffle(pairs, crBytes), 128);
        const F y0 = V::Mul(luma, Sample<V>(V::Shuffle(pairs, y0Bytes), 16));
        const F y1 = V::Mul(luma, Sample<V>(V::template Srli32<24>(pairs), 16));
        const F rc = V::Mul(rCr, cr), gb = V::Mul(gCb, cb);
        const F gr = V::Mul(gCr, cr), bc = V::Mul(bCb, cb);
        const I first = DecodePixels<V>(V::Sub(y0, half), rc, gb, gr, bc);
        const I second = DecodePixels<V>(V::Sub(y1, half), rc, gb, gr, bc);
        V::Store(dst + 4 * x, V::UnpackLo32(first, second));
        V::Store(dst + 4 * x + 2 * V::kPixels, V::UnpackHi32(first, second));
    }
    tail(src + 2 * x, dst + 4 * x, width - x);
}

template <class V, ScanlineFn tail> void Encode(const uint8_t* src, uint8_t* dst, int width) {
    using I = typename V::I;
    // Swaps the two 16-bit values of each pixel pair.
    const I swap = V::Lanes(_mm_setr_epi8(2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13));
    int x = 0;
    for (; x + V::kPixels <= width; x += V::kPixels) {
        I ya, cba, cra, yb, cbb, crb;
        EncodePixels<V>(V::Load(src + 4 * x), ya, cba, cra);
        EncodePixels<V>(V::Load(src + 4 * x + 2 * V::kPixels), yb, cbb, crb);
        // 16-bit values, the two halves' quarters interleaved: OrderWords puts them in row order.
        const I cb = V::Packs32(cba, cbb), cr = V::Packs32(cra, crb);
        // Even pixels carry the pair's Cb, odd ones its Cr: their own code plus their partner's.
        const I own = V::BlendOddWords(cb, cr);
        const I partner = V::Shuffle(V::BlendOddWords(cr, cb), swap);
        const I c = V::template Srli16<1>(V::Add16(own, partner));
        // Every code fits a byte, so C | Y << 8 is the Cb Y0 / Cr Y1 byte pair of each pixel.
        const I words = V::Or(c, V::template Slli16<8>(V::Packs32(ya, yb)));
        V::Store(dst + 2 * x, V::OrderWords(words));
    }
    tail(src + 4 * x, dst + 2 * x, width - x);
}

} // namespace Q_2vuy_scanline::wide
