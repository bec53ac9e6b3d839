#pragma once

// A rendering context over a Quartz bitmap context: the bitmap's size and pixel layout are the
// destination's.
#include "platform/coregraphics/CoreGraphics.h"
#include "platform/coreimage/CoreImageImage.h"

#include <memory>

namespace platform::coreimage {

using platform::coregraphics::CGContextRef;

class CI_API CIContext {
public:
    // Null for a null context; the context is retained.
    static std::shared_ptr<CIContext> contextWithCGContext(CGContextRef context,
                                                           const void* options = nullptr);
    ~CIContext();
    CIContext(const CIContext&) = delete;
    CIContext& operator=(const CIContext&) = delete;

    // Draws the part fromRect of the image, scaled to fill inRect (the bitmap's user space,
    // origin bottom-left), over what is there. Only the whole image (fromRect equal to its
    // extent) is drawn: no host of ours crops, and anything else draws nothing.
    void drawImage_inRect_fromRect(const CIImage& image, CGRect inRect, CGRect fromRect) const;

private:
    explicit CIContext(CGContextRef context) : mContext(context) {}
    CGContextRef mContext;
};

} // namespace platform::coreimage
