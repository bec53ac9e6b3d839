#include "app/menus/NSMenuItem_NSSizeFromMenuText.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace sizefrommenutext {

NSSize frameSizeFromMenuTextString(const char* text) {
    if (!text) return kFallbackSize;
    if (std::strchr(text, '%')) {
        const double n = double(std::clamp(std::atol(text), 0L, kMaxPercent));
        return NSMakeSize(n / -100, n / -100);
    }
    if (const char* x = std::strchr(text, 'x'))
        return NSMakeSize(double(std::atol(text)), double(std::atol(x + 1)));
    return kFallbackSize;
}

NSSize sizeFromMenuTextWithNoPrefix(const NSMenuItem& item) {
    return frameSizeFromMenuTextString(item.title().c_str());
}

} // namespace sizefrommenutext
