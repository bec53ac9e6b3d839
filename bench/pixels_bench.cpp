// One 640 x 480 frame each way through every row conversion form. libyuv runs beside them only
// as a speed anchor: its "ARGB" is B, G, R, A bytes in memory and its coefficients differ, so its
// output is not comparable with ours.
#include "kernels/KernelTable.h"

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

// The table of a level, or null (and the benchmark skipped) where the processor lacks it.
const kernels::Table* Forms(benchmark::State& state, CoreVectorUnit::Level level) {
    if (CoreVectorUnit::Runs(level)) return &kernels::ForLevel(level);
    state.SkipWithError("not on this processor");
    return nullptr;
}

void BM_ARGB_to_2vuy(benchmark::State& state, CoreVectorUnit::Level level) {
    const kernels::Table* forms = Forms(state, level);
    if (!forms) return;
    Frame frame;
    for (auto _ : state) {
        for (int y = 0; y < kHeight; ++y)
            forms->encode2vuy(frame.argb.data() + y * kWidth * 4,
                              frame.pairs.data() + y * kWidth * 2, kWidth);
        benchmark::ClobberMemory();
    }
}

void BM_2vuy_to_ARGB(benchmark::State& state, CoreVectorUnit::Level level) {
    const kernels::Table* forms = Forms(state, level);
    if (!forms) return;
    Frame frame;
    for (auto _ : state) {
        for (int y = 0; y < kHeight; ++y)
            forms->decode2vuy(frame.pairs.data() + y * kWidth * 2,
                              frame.argb.data() + y * kWidth * 4, kWidth);
        benchmark::ClobberMemory();
    }
}

BENCHMARK_CAPTURE(BM_ARGB_to_2vuy, reference, CoreVectorUnit::kReference)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ARGB_to_2vuy, sse2, CoreVectorUnit::kSSE2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ARGB_to_2vuy, avx2, CoreVectorUnit::kAVX2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_ARGB_to_2vuy, avx512, CoreVectorUnit::kAVX512)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_2vuy_to_ARGB, reference, CoreVectorUnit::kReference)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_2vuy_to_ARGB, sse2, CoreVectorUnit::kSSE2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_2vuy_to_ARGB, avx2, CoreVectorUnit::kAVX2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_2vuy_to_ARGB, avx512, CoreVectorUnit::kAVX512)->Unit(benchmark::kMicrosecond);

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
