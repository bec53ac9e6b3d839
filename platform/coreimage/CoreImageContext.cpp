#include "platform/coreimage/CoreImageContext.h"

#include <cmath>

namespace platform::coreimage {

using namespace platform::coregraphics;

std::shared_ptr<CIContext> CIContext::contextWithCGContext(CGContextRef context, const void*) {
    if (!context) return nullptr;
    return std::shared_ptr<CIContext>(new CIContext(CGContextRetain(context)));
}

CIContext::~CIContext() {
    CGContextRelease(mContext);
}

void CIContext::drawImage_inRect_fromRect(const CIImage& image, CGRect inRect,
                                          CGRect fromRect) const {
    const CGRect extent = image.extent();
    if (fromRect.origin.x != extent.origin.x || fromRect.origin.y != extent.origin.y ||
        fromRect.size.width != extent.size.width || fromRect.size.height != extent.size.height)
        return;
    // At the image's own size, on whole pixels, every pixel lands on one pixel: no filtering.
    const bool oneToOne = inRect.size.width == extent.size.width &&
                          inRect.size.height == extent.size.height &&
                          inRect.origin.x == std::floor(inRect.origin.x) &&
                          inRect.origin.y == std::floor(inRect.origin.y);
    CGImageRef quartzImage = image.CreateQuartzImage(!oneToOne);
    CGContextDrawImage(mContext, inRect, quartzImage);
    CGImageRelease(quartzImage);
}

} // namespace platform::coreimage
