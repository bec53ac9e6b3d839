#include "core/CoreVerify.h"
#include "pixels/CoreGraphicsBitmapContext.h"
#include "pixels/Q_2vuy_format.h"

#include <algorithm>

bool Q_2vuy_data::CanCopyFormat(const CoreGraphics::BitmapContext& in_rhs) const {
    if (!VERIFY(in_rhs.IsConstructed())) return false;
    bool fOk;
    // clang-format off
    VERIFY(fOk = (CoreGraphics::BitmapContext::BitmapType_Device_ARGB==in_rhs.GetImageType()));
    // clang-format on
    return fOk;
}

void Q_2vuy_data::CopyPixelsTo(const CoreGraphics::BitmapContext& in_rhs) const {
    if (!CanCopyFormat(in_rhs)) return;
    if (!_PixelData || _Width <= 0 || _Height <= 0 || _RowBytes <= 0) return;
    const long bitmapHeight = in_rhs.GetImageHeight();
    const int width = std::min<int>(_Width, int(in_rhs.GetImageWidth()));
    const long sourceRowBytes = 2L * (width + (width & 1));
    for (long y = 0; y < _Height; ++y) {
        // A picture that claims more rows than its memory holds stops at the memory's end.
        if (_PixelDataSize > 0 && y * _RowBytes + sourceRowBytes > _PixelDataSize) break;
        const long row = bitmapHeight - _Height + y;
        if (row < 0 || row >= bitmapHeight) continue;
        ConvertScanline_2vuy_to_ARGB(_PixelData + y * _RowBytes,
                                     in_rhs.GetImageDataBytes() + row * in_rhs.GetImageRowBytes(),
                                     width);
    }
}
