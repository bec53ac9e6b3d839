#include "hosts/frei0r/CameraSource.h"

#include <algorithm>
#include <cstdio>

using namespace platform::coregraphics;
using namespace platform::coreimage;

std::unique_ptr<CameraSource> CameraSource::Create(unsigned width, unsigned height) {
    // A frei0r frame is width x height packed pixels, while hosts such as ffmpeg hand over rows
    // padded to 64 bytes: at other widths the frame would shear and its bottom rows stay empty.
    if (width == 0 || height == 0 || width % kWidthMultiple != 0 || height % kHeightMultiple != 0) {
        std::fprintf(stderr,
                     "cilookpaneinput: cannot make frames of %ux%u: the width must be a multiple "
                     "of %u and the height a multiple of %u (for example 640x480)\n",
                     width, height, kWidthMultiple, kHeightMultiple);
        return nullptr;
    }
    std::shared_ptr<CIFilter> filter = CIFilter::filterWithName(kFilterName);
    if (!filter) {
        std::fprintf(stderr,
                     "cilookpaneinput: the %s image filter is not installed: no "
                     "CILookpaneInput.plugin in $XDG_DATA_HOME/vistrel/image-units, "
                     "/usr/local/lib/vistrel/image-units or /usr/lib/vistrel/image-units\n",
                     kFilterName);
        return nullptr;
    }
    return std::unique_ptr<CameraSource>(new CameraSource(std::move(filter), width, height));
}

void CameraSource::Render(double time, uint32_t* frame) {
    mFilter->setValue_forKey(time, "inputClock");
    const std::shared_ptr<CIImage> image = mFilter->outputImage();

    // Premultiplied R, G, B, A bytes: the destination layout the drawing layer knows.
    CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
    CGContextRef bitmap = CGBitmapContextCreate(frame, mWidth, mHeight, 8, size_t(mWidth) * 4,
                                                space, kCGImageAlphaPremultipliedLast);
    CGColorSpaceRelease(space);
    if (!bitmap) return;
    const CGRect whole = CGRectMake(0, 0, mWidth, mHeight);
    CGContextClearRect(bitmap, whole);
    if (image)
        CIContext::contextWithCGContext(bitmap)->drawImage_inRect_fromRect(*image, whole,
                                                                           image->extent());
    CGContextRelease(bitmap);
    UnpremultiplyRGBA(reinterpret_cast<uint8_t*>(frame), size_t(mWidth) * mHeight);
}

void UnpremultiplyRGBA(uint8_t* pixels, size_t count) {
    for (uint8_t* p = pixels; p < pixels + 4 * count; p += 4) {
        const unsigned alpha = p[3];
        if (alpha == 255 || alpha == 0) continue;
        for (int c = 0; c < 3; ++c)
            p[c] = uint8_t(std::min(255u, (p[c] * 255u + alpha / 2) / alpha));
    }
}
