#include "app/sizes/NSSizeFromMenuText.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sizes {

CGSize frameSizeFromMenuTextString(const char* text) {
    if (!text) return kFallbackSize;
    if (std::strchr(text, '%')) {
        // atol stops at the first non-digit, so "50.00%" is 50.
        const long percent = std::clamp(std::atol(text), 0L, kMaxTitlePercent);
        const double fraction = double(percent) / -100.0;
        return {fraction, fraction};
    }
    if (const char* x = std::strchr(text, 'x'))
        return {double(std::atol(text)), double(std::atol(x + 1))};
    return kFallbackSize;
}

CGSize sizeFromMenuTextWithPrefix(const char* title, const char* prefix) {
    if (title && prefix) {
        if (const char* at = std::strstr(title, prefix)) title = at + std::strlen(prefix);
    }
    return frameSizeFromMenuTextString(title);
}

bool sizeFromMenuTextWithCustomPrefixIsDefault(const char* title) {
    const CGSize size = sizeFromMenuTextWithCustomPrefix(title);
    return size.width == kFallbackSize.width && size.height == kFallbackSize.height && title &&
           std::strstr(title, "...");
}

std::optional<std::string> sizeTitle_withPrefix(CGSize size, const char* prefix) {
    if (!prefix) prefix = "";
    const auto fits = [](double v) { return std::isfinite(v) && std::fabs(v) < INT_MAX / 100; };
    if (!fits(size.width) || !fits(size.height)) return std::nullopt;
    char title[256];
    int length;
    if (size.width < 1 || size.height < 1)
        length =
            std::snprintf(title, sizeof title, "%s %1.2f%%", prefix, std::fabs(size.width) * 100);
    else
        length = std::snprintf(title, sizeof title, "%s%dx%d", prefix, int(size.width),
                               int(size.height));
    if (length < 0 || size_t(length) >= sizeof title) return std::nullopt;
    return std::string(title, size_t(length));
}

} // namespace sizes
