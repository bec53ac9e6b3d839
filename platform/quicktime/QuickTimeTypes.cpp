#include "platform/quicktime/QuickTimeTypes.h"

#include <algorithm>
#include <cstring>

namespace platform::quicktime {
namespace {

constexpr int64_t kFixedMax = 0x7FFFFFFF;

Fixed Saturate(int64_t value) {
    if (value > kFixedMax) return Fixed(kFixedMax);
    if (value < -kFixedMax) return Fixed(-kFixedMax);
    return Fixed(value);
}

} // namespace

Fixed FixDiv(Fixed dividend, Fixed divisor) {
    if (divisor == 0) return dividend >= 0 ? Fixed(kFixedMax) : Fixed(-kFixedMax);
    return Saturate(int64_t(dividend) * 65536 / divisor);
}

Fixed Long2Fix(long x) {
    return Saturate(int64_t(x) * 65536);
}

void CopyCStringToPascal(const char* source, StringPtr destination) {
    if (!destination) return;
    const size_t length = source ? std::min<size_t>(std::strlen(source), 255) : 0;
    destination[0] = static_cast<unsigned char>(length);
    if (length) std::memcpy(destination + 1, source, length);
}

} // namespace platform::quicktime
