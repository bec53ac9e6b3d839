#pragma once

// The scalar types, records and error numbers of the media toolkit, with their documented
// names, values and layouts. Code written against the toolkit's calls compiles against these
// once it says `using namespace platform::quicktime;`.
#include "platform/PlatformTypes.h"

#include <cstddef>
#include <cstdint>

#define QT_API __attribute__((visibility("default")))

namespace platform::quicktime {

using platform::FourCC;
using platform::OSErr;

using OSType = uint32_t;
using OSStatus = int32_t;
using Boolean = unsigned char;
using UInt8 = uint8_t;
using SInt8 = int8_t;
using UInt16 = uint16_t;
using SInt16 = int16_t;
using UInt32 = uint32_t;
using SInt32 = int32_t;
using UInt64 = uint64_t;
using Size = long;
using ByteCount = unsigned long;
// 16.16 fixed point: 0x10000 is 1.0.
using Fixed = int32_t;

using Ptr = char*;
using Handle = Ptr*;

// Length-prefixed strings: byte 0 holds the length.
using Str255 = unsigned char[256];
using Str63 = unsigned char[64];
using Str31 = unsigned char[32];
using StringPtr = unsigned char*;
using ConstStringPtr = const unsigned char*;

constexpr OSErr noErr = 0;
constexpr OSErr paramErr = -50;
constexpr OSErr memFullErr = -108;
constexpr OSErr nilHandleErr = -109;
constexpr OSErr resNotFound = -192;
constexpr OSErr componentDllLoadErr = -2091;
constexpr OSErr componentDllEntryNotFoundErr = -2092;
constexpr OSErr kQTPropertyNotSupportedErr = -2195;
constexpr OSErr digiUnimpErr = -2201;
constexpr OSErr qtParamErr = -2202;
constexpr OSErr badCallOrderErr = -2209;
constexpr OSErr invalidComponentID = -3000;
constexpr OSErr noCodecErr = -8961;

// QuickDraw's rectangle: a point is inside when top <= v < bottom and left <= h < right.
struct Rect {
    int16_t top;
    int16_t left;
    int16_t bottom;
    int16_t right;
};
static_assert(sizeof(Rect) == 8);

inline Boolean EmptyRect(const Rect* r) {
    return r->bottom <= r->top || r->right <= r->left;
}
inline Boolean MacEqualRect(const Rect* a, const Rect* b) {
    return a->top == b->top && a->left == b->left && a->bottom == b->bottom && a->right == b->right;
}
// The common part of two rectangles; false (and an empty result) when they do not overlap.
inline Boolean SectRect(const Rect* a, const Rect* b, Rect* out) {
    Rect r{a->top > b->top ? a->top : b->top, a->left > b->left ? a->left : b->left,
           a->bottom < b->bottom ? a->bottom : b->bottom,
           a->right < b->right ? a->right : b->right};
    if (EmptyRect(&r)) r = Rect{0, 0, 0, 0};
    *out = r;
    return !EmptyRect(&r);
}

// Fixed-point arithmetic. Results that do not fit saturate at 0x7FFFFFFF or -0x7FFFFFFF.
QT_API Fixed FixDiv(Fixed dividend, Fixed divisor);
QT_API Fixed Long2Fix(long x);

// A C string as a length-prefixed one of at most 255 characters (longer text is cut).
QT_API void CopyCStringToPascal(const char* source, StringPtr destination);

} // namespace platform::quicktime
