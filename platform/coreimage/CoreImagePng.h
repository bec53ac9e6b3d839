#pragma once

#include "platform/coregraphics/CoreGraphics.h"

#include <cstddef>

namespace platform::coreimage {

// A premultiplied ARGB image of a PNG picture held in memory; null when it is not one.
platform::coregraphics::CGImageRef CreateImageFromPngData(const void* bytes, size_t size);

} // namespace platform::coreimage
