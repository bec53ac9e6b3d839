// One broadcast frame's stretch: a 1280 x 720 screen image (B, G, R, X bytes) drawn with a
// bilinear filter into a 640 x 480 context of A, R, G, B bytes, as drawing does it (our bilinear
// rows where the processor has AVX2) and with pixman in its native order plus a swizzle. Beside
// them, as anchors: pixman compositing straight into A, R, G, B bytes (the plain route), pixman
// into its native order, and, when installed, libswscale's bilinear scaler.
#include "kernels/KernelTable.h"
#include "platform/coregraphics/CoreGraphics.h"
#include "platform/coregraphics/CoreGraphicsDrawRoute.h"

#include <benchmark/benchmark.h>

#ifdef VISTREL_HAVE_SWSCALE
extern "C" {
#include <libswscale/swscale.h>
}
#endif

#include <cstdint>
#include <random>
#include <vector>

using namespace platform::coregraphics;

namespace {

constexpr size_t kSrcWidth = 1280, kSrcHeight = 720;
constexpr size_t kDstWidth = 640, kDstHeight = 480;

struct Frame {
    std::vector<uint8_t> screen;
    std::vector<uint8_t> frame = std::vector<uint8_t>(kDstWidth * kDstHeight * 4);
    CGImageRef image = nullptr;
    CGContextRef context = nullptr;

    explicit Frame(CGBitmapInfo frameInfo, size_t srcWidth = kSrcWidth,
                   size_t srcHeight = kSrcHeight)
        : screen(srcWidth * srcHeight * 4) {
        std::mt19937 random(1);
        for (uint8_t& b : screen)
            b = uint8_t(random());
        CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
        CGDataProviderRef provider =
            CGDataProviderCreateWithData(nullptr, screen.data(), screen.size(), nullptr);
        image = CGImageCreate(srcWidth, srcHeight, 8, 32, srcWidth * 4, space,
                              kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little, provider,
                              nullptr, true, kCGRenderingIntentDefault);
        context = CGBitmapContextCreate(frame.data(), kDstWidth, kDstHeight, 8, kDstWidth * 4,
                                        space, frameInfo);
        CGDataProviderRelease(provider);
        CGColorSpaceRelease(space);
    }
    ~Frame() {
        CGImageRelease(image);
        CGContextRelease(context);
    }
};

const CGRect kWhole = CGRectMake(0, 0, kDstWidth, kDstHeight);

void BM_Stretch(benchmark::State& state, CGBitmapInfo frameInfo, DrawRoute route) {
    Frame f(frameInfo);
    for (auto _ : state) {
        CGContextDrawImageThrough(f.context, kWhole, f.image, route);
        benchmark::ClobberMemory();
    }
}

// A whole 1920 x 1080 screen into the frame: a third of the width, so its pixels are averaged in
// blocks of two before the bilinear rows.
void BM_StretchWholeScreen(benchmark::State& state) {
    Frame f(kCGImageAlphaPremultipliedFirst, 1920, 1080);
    for (auto _ : state) {
        CGContextDrawImage(f.context, kWhole, f.image);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_StretchWholeScreen)->Unit(benchmark::kMillisecond);

// That screen's block averaging alone, by the plain rows (the form every processor had before
// the vector one) and by the process's own.
void BM_BoxRows(benchmark::State& state, bool plain) {
    Frame f(kCGImageAlphaPremultipliedFirst, 1920, 1080);
    const kernels::BoxRowFn row = plain ? kernels::BoxRowReference : kernels::Chosen().box;
    std::vector<uint32_t> columns(1920 * 4);
    std::vector<uint8_t> out(960 * 540 * 4);
    for (auto _ : state) {
        for (size_t y = 0; y < 1080; y += 2)
            row({f.screen.data() + y * 1920 * 4, 1920 * 4, 2, 1920, 2}, columns.data(),
                out.data() + y / 2 * 960 * 4);
        benchmark::ClobberMemory();
    }
}
BENCHMARK_CAPTURE(BM_BoxRows, plain, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_BoxRows, chosen, false)->Unit(benchmark::kMillisecond);

// The frame's own layout: alpha first, default (big-endian) byte order.
constexpr CGBitmapInfo kFrame = kCGImageAlphaPremultipliedFirst;
constexpr CGBitmapInfo kNative = kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little;

// A 320 x 240 grab stretched up into the frame: each grab row serves two frame rows.
void BM_StretchSmallGrab(benchmark::State& state) {
    Frame f(kFrame, 320, 240);
    for (auto _ : state) {
        CGContextDrawImage(f.context, kWhole, f.image);
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_StretchSmallGrab)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Stretch, argb_drawing, kFrame, DrawRoute::NativeOrder)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Stretch, argb_pixman_native_then_swizzle, kFrame,
                  DrawRoute::NativeOrderComposite)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Stretch, argb_pixman_direct, kFrame, DrawRoute::Direct)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Stretch, bgra_pixman_native, kNative, DrawRoute::Direct)
    ->Unit(benchmark::kMillisecond);

#ifdef VISTREL_HAVE_SWSCALE
void BM_Stretch_swscale(benchmark::State& state) {
    Frame f(kFrame);
    SwsContext* sws =
        sws_getContext(int(kSrcWidth), int(kSrcHeight), AV_PIX_FMT_BGRA, int(kDstWidth),
                       int(kDstHeight), AV_PIX_FMT_ARGB, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!sws) {
        state.SkipWithError("no scaler for these formats");
        return;
    }
    const uint8_t* const src[] = {f.screen.data()};
    const int srcStride[] = {int(kSrcWidth * 4)};
    uint8_t* const dst[] = {f.frame.data()};
    const int dstStride[] = {int(kDstWidth * 4)};
    for (auto _ : state) {
        sws_scale(sws, src, srcStride, 0, int(kSrcHeight), dst, dstStride);
        benchmark::ClobberMemory();
    }
    sws_freeContext(sws);
}
BENCHMARK(BM_Stretch_swscale)->Unit(benchmark::kMillisecond);
#endif

} // namespace

BENCHMARK_MAIN();
