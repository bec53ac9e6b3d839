#pragma once

// NSMenuItem(NSSizeFromMenuText): sizes read from size item titles such as "640 x 480",
// "Custom: 1024x768" or "Custom:  50.00%" (a negated fraction); anything else is (640, 480).
#include "platform/appkit/NSMenu.h"

namespace sizefrommenutext {

using namespace platform::appkit;

constexpr NSSize kFallbackSize{640, 480};
constexpr long kMaxPercent = 400;

NSSize frameSizeFromMenuTextString(const char* text);
NSSize sizeFromMenuTextWithNoPrefix(const NSMenuItem& item);

} // namespace sizefrommenutext
