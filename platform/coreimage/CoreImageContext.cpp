#include "platform/coreimage/CoreImageContext.h"

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
    CGImageRef quartzImage = image.CreateQuartzImage();
    CGContextDrawImage(mContext, inRect, quartzImage);
    CGImageRelease(quartzImage);
}

} // namespace platform::coreimage
