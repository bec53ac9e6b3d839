#include "platform/coregraphics/CoreGraphicsSwizzle.h"

namespace platform::coregraphics {

void SwizzleReference(const uint8_t* src, uint8_t* dst, size_t count, const Swizzle& s) {
    SwizzlePixels(src, dst, count, s);
}

SwizzleFn SwizzleForm(CoreVectorUnit::Level level) {
    // The 512-bit level has no swizzle of its own: the byte shuffles gain nothing from it here.
    static const SwizzleFn kForms[] = {SwizzleReference, SwizzleSSE2, SwizzleSSSE3, SwizzleAVX2,
                                       SwizzleAVX2};
    return kForms[level];
}

SwizzleFn SwizzleChosen() {
    return SwizzleForm(CoreVectorUnit::Chosen());
}

} // namespace platform::coregraphics
