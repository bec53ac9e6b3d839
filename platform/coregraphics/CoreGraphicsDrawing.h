#pragma once

// Quartz's bitmap drawing with its documented names, values and coordinate rules, over pixman.
// Code written against the platform compiles against this once it says
// `using namespace platform::coregraphics;`.
//
// A bitmap context's user space has its origin at the bottom-left and y up, while its memory
// holds the top row first, so an image drawn into the context's whole rectangle lands upright.
// Every object is reference counted: Create/Copy give one reference, Retain adds one, Release
// drops one (and accepts null).
#include <cstddef>
#include <cstdint>

namespace platform::coregraphics {

using CGFloat = double;

struct CGPoint {
    CGFloat x;
    CGFloat y;
};
struct CGSize {
    CGFloat width;
    CGFloat height;
};
struct CGRect {
    CGPoint origin;
    CGSize size;
};

inline CGRect CGRectMake(CGFloat x, CGFloat y, CGFloat width, CGFloat height) {
    return CGRect{{x, y}, {width, height}};
}

struct CGColorSpace;
struct CGContext;
struct CGImage;
struct CGDataProvider;
using CGColorSpaceRef = CGColorSpace*;
using CGContextRef = CGContext*;
using CGImageRef = CGImage*;
using CGDataProviderRef = CGDataProvider*;

// Alpha placement (low five bits of a bitmap-info value) and byte order (bits 12 to 14). The
// default byte order is big-endian: premultiplied-first 32-bit pixels are the bytes A, R, G, B.
using CGImageAlphaInfo = uint32_t;
constexpr CGImageAlphaInfo kCGImageAlphaNone = 0;
constexpr CGImageAlphaInfo kCGImageAlphaPremultipliedLast = 1;
constexpr CGImageAlphaInfo kCGImageAlphaPremultipliedFirst = 2;
constexpr CGImageAlphaInfo kCGImageAlphaLast = 3;
constexpr CGImageAlphaInfo kCGImageAlphaFirst = 4;
constexpr CGImageAlphaInfo kCGImageAlphaNoneSkipLast = 5;
constexpr CGImageAlphaInfo kCGImageAlphaNoneSkipFirst = 6;
constexpr CGImageAlphaInfo kCGImageAlphaOnly = 7;

using CGBitmapInfo = uint32_t;
constexpr CGBitmapInfo kCGBitmapAlphaInfoMask = 0x1F;
constexpr CGBitmapInfo kCGBitmapByteOrderMask = 0x7000;
constexpr CGBitmapInfo kCGBitmapByteOrderDefault = 0 << 12;
constexpr CGBitmapInfo kCGBitmapByteOrder16Little = 1 << 12;
constexpr CGBitmapInfo kCGBitmapByteOrder32Little = 2 << 12;
constexpr CGBitmapInfo kCGBitmapByteOrder16Big = 3 << 12;
constexpr CGBitmapInfo kCGBitmapByteOrder32Big = 4 << 12;
constexpr CGBitmapInfo kCGBitmapByteOrder32Host = kCGBitmapByteOrder32Little;

using CGColorRenderingIntent = int32_t;
constexpr CGColorRenderingIntent kCGRenderingIntentDefault = 0;
constexpr CGColorRenderingIntent kCGRenderingIntentAbsoluteColorimetric = 1;
constexpr CGColorRenderingIntent kCGRenderingIntentRelativeColorimetric = 2;
constexpr CGColorRenderingIntent kCGRenderingIntentPerceptual = 3;
constexpr CGColorRenderingIntent kCGRenderingIntentSaturation = 4;

// Colour spaces: only the device spaces.
CGColorSpaceRef CGColorSpaceCreateDeviceGray();
CGColorSpaceRef CGColorSpaceCreateDeviceRGB();
CGColorSpaceRef CGColorSpaceRetain(CGColorSpaceRef space);
void CGColorSpaceRelease(CGColorSpaceRef space);
// 1 for gray, 3 for RGB, 0 for null.
size_t CGColorSpaceGetNumberOfComponents(CGColorSpaceRef space);

// A provider over memory the caller keeps alive; releaseData (may be null) is called with info,
// data and size when the last reference goes.
using CGDataProviderReleaseDataCallback = void (*)(void* info, const void* data, size_t size);
CGDataProviderRef CGDataProviderCreateWithData(void* info, const void* data, size_t size,
                                               CGDataProviderReleaseDataCallback releaseData);
CGDataProviderRef CGDataProviderRetain(CGDataProviderRef provider);
void CGDataProviderRelease(CGDataProviderRef provider);

// Supported layouts, 8 bits per component: device gray 8 bits with no alpha; alpha only 8 bits
// (null colour space); device RGB 32 bits with premultiplied or skipped alpha, first or last,
// in either 32-bit byte order. Anything else gives null.
//
// A bitmap context draws straight into data, which must hold bytesPerRow * height bytes and
// outlive the context; null data makes the context allocate (and own) cleared memory.
// bytesPerRow 0 means width * bytes per pixel; a smaller non-zero value gives null.
CGContextRef CGBitmapContextCreate(void* data, size_t width, size_t height, size_t bitsPerComponent,
                                   size_t bytesPerRow, CGColorSpaceRef space,
                                   CGBitmapInfo bitmapInfo);
void* CGBitmapContextGetData(CGContextRef context);
size_t CGBitmapContextGetWidth(CGContextRef context);
size_t CGBitmapContextGetHeight(CGContextRef context);
size_t CGBitmapContextGetBytesPerRow(CGContextRef context);
size_t CGBitmapContextGetBitsPerPixel(CGContextRef context);
CGContextRef CGContextRetain(CGContextRef context);
void CGContextRelease(CGContextRef context);

// An image reads its provider's bytes whenever it is drawn: no copy is made. Decode arrays are
// not supported (non-null gives null). shouldInterpolate picks a bilinear rather than a nearest
// filter when the image is scaled; shrunk by more than half, such an image is first averaged in
// blocks so that every pixel counts. Nearest stays for the makers that ask for it.
CGImageRef CGImageCreate(size_t width, size_t height, size_t bitsPerComponent, size_t bitsPerPixel,
                         size_t bytesPerRow, CGColorSpaceRef space, CGBitmapInfo bitmapInfo,
                         CGDataProviderRef provider, const CGFloat* decode, bool shouldInterpolate,
                         CGColorRenderingIntent intent);
size_t CGImageGetWidth(CGImageRef image);
size_t CGImageGetHeight(CGImageRef image);
size_t CGImageGetBytesPerRow(CGImageRef image);
CGBitmapInfo CGImageGetBitmapInfo(CGImageRef image);
CGImageRef CGImageRetain(CGImageRef image);
void CGImageRelease(CGImageRef image);
// The references held on the image (0 for null). A maker that keeps one of them itself may reuse
// the image's pixels once it holds the only one: nobody else can be reading them then.
size_t CGImageGetRetainCount(CGImageRef image);

// How a context filters the images it scales. The default follows each image's shouldInterpolate;
// none is nearest-neighbour; low, medium and high filter (bilinear) whatever the image says.
using CGInterpolationQuality = int32_t;
constexpr CGInterpolationQuality kCGInterpolationDefault = 0;
constexpr CGInterpolationQuality kCGInterpolationNone = 1;
constexpr CGInterpolationQuality kCGInterpolationLow = 2;
constexpr CGInterpolationQuality kCGInterpolationMedium = 4;
constexpr CGInterpolationQuality kCGInterpolationHigh = 3;
void CGContextSetInterpolationQuality(CGContextRef context, CGInterpolationQuality quality);

// Draws the image scaled to fill rect (user space), composited over what is there with
// premultiplied alpha; the image's edge pixels extend outwards, so a flat image stays flat.
void CGContextDrawImage(CGContextRef context, CGRect rect, CGImageRef image);
// Sets the pixels under rect (user space, rounded outwards to whole pixels) to zero: transparent.
void CGContextClearRect(CGContextRef context, CGRect rect);

} // namespace platform::coregraphics
