#pragma once

// Sizes carried in the titles of size menu items: "640 x 480", "Custom: 1024x768" or
// "Custom:  50.00%". Percentages read back as negated fractions, so (-0.5, -0.5) is 50%.
#include "platform/coregraphics/CoreGraphicsDrawing.h"

#include <optional>
#include <string>

namespace sizes {

using platform::coregraphics::CGSize;

constexpr const char* kCustomPrefix = "Custom: ";
constexpr CGSize kFallbackSize{640, 480};
constexpr long kMaxTitlePercent = 400;

// "n%" (n read as a whole number, clamped to 0..400) gives (n / -100, n / -100); "w x h" gives
// (w, h); anything else, or no text at all, gives the fallback size.
CGSize frameSizeFromMenuTextString(const char* text);

// The size read after the first occurrence of prefix, or from the whole title when the prefix
// is null or absent.
CGSize sizeFromMenuTextWithPrefix(const char* title, const char* prefix);
inline CGSize sizeFromMenuTextWithNoPrefix(const char* title) {
    return sizeFromMenuTextWithPrefix(title, nullptr);
}
inline CGSize sizeFromMenuTextWithCustomPrefix(const char* title) {
    return sizeFromMenuTextWithPrefix(title, kCustomPrefix);
}
// Whether a custom item still holds its interface title ("Custom..."): the fallback size and the
// three dots.
bool sizeFromMenuTextWithCustomPrefixIsDefault(const char* title);

// The title for a size: "<prefix> 50.00%" when either component is below 1 (from |width|),
// else "<prefix>640x480" with both components truncated (the prefix ends in its space). Nothing
// when a component is not a number or too large for a title.
std::optional<std::string> sizeTitle_withPrefix(CGSize size, const char* prefix);
inline std::optional<std::string> sizeTitleWithCustomPrefix(CGSize size) {
    return sizeTitle_withPrefix(size, kCustomPrefix);
}

} // namespace sizes
