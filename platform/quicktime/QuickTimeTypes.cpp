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

// value / divisor rounded to the nearest integer, halves away from zero.
int64_t RoundedQuotient(int64_t value, int64_t divisor) {
    const int64_t half = divisor / 2;
    return value >= 0 ? (value + half) / divisor : -((-value + half) / divisor);
}

} // namespace

Fixed FixRatio(int16_t numer, int16_t denom) {
    if (denom == 0) return numer >= 0 ? Fixed(kFixedMax) : Fixed(-kFixedMax);
    return Saturate((int64_t(numer) << 16) / denom);
}

Fixed FixDiv(Fixed dividend, Fixed divisor) {
    if (divisor == 0) return dividend >= 0 ? Fixed(kFixedMax) : Fixed(-kFixedMax);
    return Saturate(int64_t(dividend) * 65536 / divisor);
}

Fixed FixMul(Fixed a, Fixed b) {
    return Saturate(RoundedQuotient(int64_t(a) * b, 65536));
}

Fixed Long2Fix(long x) {
    return Saturate(int64_t(x) * 65536);
}

long Fix2Long(Fixed x) {
    return long(RoundedQuotient(x, 65536));
}

int16_t FixRound(Fixed x) {
    return int16_t(RoundedQuotient(x, 65536));
}

void CopyCStringToPascal(const char* source, StringPtr destination) {
    if (!destination) return;
    const size_t length = source ? std::min<size_t>(std::strlen(source), 255) : 0;
    destination[0] = static_cast<unsigned char>(length);
    if (length) std::memcpy(destination + 1, source, length);
}

} // namespace platform::quicktime
