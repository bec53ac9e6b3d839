#pragma once

#include <cstdint>
#include <cstdlib>

namespace CoreGraphics {
class BitmapContext;
}

// A Y'CbCr 4:2:2 picture: each pair of horizontally adjacent pixels shares one Cb and one Cr
// sample, every pixel has its own Y. Samples are 8-bit video range.
struct Q_2vuy_format {
    static constexpr uint32_t kPixelFormat_2vuy = 0x32767579; // Cb, Y0, Cr, Y1
    static constexpr uint32_t kPixelFormat_yuvs = 0x79757673; // Y0, Cb, Y1, Cr

    int16_t _Width = 0;
    int16_t _Height = 0;
    long _RowBytes = 0;
    uint32_t _PixelFormat = kPixelFormat_2vuy;

    static bool IsValidPixelFormat(uint32_t code) {
        return code == kPixelFormat_2vuy || code == kPixelFormat_yuvs;
    }
};

// Describes 2vuy pixels that somebody else owns; frees nothing.
struct Q_2vuy_data : Q_2vuy_format {
    uint8_t* _PixelData = nullptr;
    long _PixelDataSize = 0;

    // Only constructed A, R, G, B bitmaps can take the picture; anything else is reported.
    bool CanCopyFormat(const CoreGraphics::BitmapContext& in_rhs) const;
    // Converts the picture into the bitmap's bottom rows: a picture as tall as the bitmap maps row
    // for row, a shorter one fills the bottom and leaves the rows above as they were. Only as much
    // of each row as the bitmap is wide is converted, and never a byte past _PixelDataSize when
    // that is set.
    void CopyPixelsTo(const CoreGraphics::BitmapContext& in_rhs) const;

    // One row of `width` pixels each way; ARGB is A, R, G, B bytes per pixel, 2vuy is Cb, Y0, Cr,
    // Y1 per pixel pair. Alpha is ignored on the way in and 255 on the way out. With an odd width
    // the last pixel has only its Cb and Y bytes in a 2vuy row: it is decoded with neutral Cr and
    // encoded as a pair with itself, of which only Cb and Y are written.
    static void ConvertScanline_2vuy_to_ARGB(const uint8_t* src, uint8_t* dst, int width);
    static void ConvertScanline_ARGB_to_2vuy(const uint8_t* src, uint8_t* dst, int width);
};

// The owning variant: releases pixels allocated with malloc once it describes a whole picture.
struct Q_2vuy_buffer : Q_2vuy_data {
    Q_2vuy_buffer() = default;
    // Tightly packed rows (an odd width still takes whole pairs); no pixels when malloc fails.
    Q_2vuy_buffer(int16_t width, int16_t height) {
        if (width <= 0 || height <= 0) return;
        const long rowBytes = 2L * (width + (width & 1));
        if (void* pixels = std::malloc(static_cast<size_t>(rowBytes * height))) {
            _Width = width;
            _Height = height;
            _RowBytes = rowBytes;
            _PixelData = static_cast<uint8_t*>(pixels);
            _PixelDataSize = rowBytes * height;
        }
    }
    Q_2vuy_buffer(const Q_2vuy_buffer&) = delete;
    Q_2vuy_buffer& operator=(const Q_2vuy_buffer&) = delete;
    ~Q_2vuy_buffer() {
        if (_Width && _Height && _RowBytes && _PixelData && _PixelDataSize) std::free(_PixelData);
    }
};
