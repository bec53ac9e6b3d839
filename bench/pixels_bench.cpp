// One 640 x 480 frame each way through every row conversion form. libyuv runs beside them only
// as a speed anchor: its "ARGB" is B, G, R, A bytes in memory and its coefficients differ, so its
// output is not comparable with ours.
#include "pixels/Q_2vuy_scanline.h"

#include <benchmark/benchmark.h>

#ifdef VISTREL_HAVE_LIBYUV
#include <libyuv.h>
#endif

#include <cstdint>
#include <random>
#include <vector>

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

struct Frame {
    std::vector<uint8_t> argb = std::vector<uint8_t>(kWidth * kHeight * 4);
    std::vector<uint8_t> pairs = std::vector<uint8_t>(kWidth * kHeight * 2);
    Frame() {
        std::mt19937 random(1);
        for (uint8_t& b : argb)
            b = static_cast<uint8_t>(random());
        for (uint8_t& b : pairs)
            b = static_cast<uint8_t>(random());
    }
};

void Skip(benchmark::State& state, const Q_2vuy_scanline::Implementation& impl) {
    if (&impl == &Q_2vuy_scanline::kAVX2 && !Q_2vuy_scanline::HasAVX2())
        state.SkipWithError("no AVX2 on this processor");
    if (&impl == &Q_2vuy_scanline::kAVX512 && !Q_2vuy_scanline::HasAVX512())
        state.SkipWithError("no AVX-512 on this processor");
}

void BM_ARGB_to_2vuy(benchmark::State& state, const Q_2vuy_scanline::Implementation* impl) {
    Skip(state, *impl);
    Frame frame;
    for (auto _ : state) {
        for (int y = 0; y < kHeight; ++y)
            impl->to2vuy(frame.argb.data() + y * kWidth * 4, frame.pairs.data() + y * kWidth * 2,
                         kWidth);
        benchmark::ClobberMemory();
    }
}

void BM_2vuy_to_ARGB(benchmark::State& state, const Q_2vuy_scanline::Implementation* impl) {
    Skip(state, *impl);
    Frame frame;
    for (auto _ : state) {
        for (int y = 0; y < kHeight; ++y)
            impl->toARGB(frame.pairs.data() + y * kWidth * 2, frame.argb.data() + y * kWidth * 4,
                         kWidth);
        benchmark::ClobberMemory();
    }
}

BENCHMARK_CAPTURE(BM_ARGB_to_2vuy, reference, &Q_2vuy_scanline::kReference)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ARGB_to_2vuy, sse2, &Q_2vuy_scanline::kSSE2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ARGB_to_2vuy, avx2, &Q_2vuy_scanline::kAVX2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ARGB_to_2vuy, avx512, &Q_2vuy_scanline::kAVX512)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_2vuy_to_ARGB, reference, &Q_2vuy_scanline::kReference)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_2vuy_to_ARGB, sse2, &Q_2vuy_scanline::kSSE2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_2vuy_to_ARGB, avx2, &Q_2vuy_scanline::kAVX2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_2vuy_to_ARGB, avx512, &Q_2vuy_scanline::kAVX512)
    ->Unit(benchmark::kMicrosecond);

#ifdef VISTREL_HAVE_LIBYUV
void BM_ARGB_to_2vuy_libyuv(benchmark::State& state) {
    Frame frame;
    for (auto _ : state) {
        libyuv::ARGBToUYVY(frame.argb.data(), kWidth * 4, frame.pairs.data(), kWidth * 2, kWidth,
                           kHeight);
        benchmark::ClobberMemory();
    }
}

void BM_2vuy_to_ARGB_libyuv(benchmark::State& state) {
    Frame frame;
    for (auto _ : state) {
        libyuv::UYVYToARGB(frame.pairs.data(), kWidth * 2, frame.argb.data(), kWidth * 4, kWidth,
                           kHeight);
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_ARGB_to_2vuy_libyuv)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_2vuy_to_ARGB_libyuv)->Unit(benchmark::kMicrosecond);
#endif

} // namespace

BENCHMARK_MAIN();
