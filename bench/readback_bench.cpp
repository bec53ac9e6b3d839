// A 640 x 480 read-back frame turned over and swizzled in place, beside a plain copy of the same
// frame into another buffer: the conversion should cost about what moving the frame costs.
#include "core/CoreLogIdentity.h"
#include "kernels/KernelTable.h"
#include "pixels/OpenGL_ReadPixels.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

namespace RP = OpenGL::ReadPixels;

constexpr size_t kWidth = 640;
constexpr size_t kHeight = 480;
constexpr size_t kRowBytes = RP::scanline_row_bytes_from_frame_pixel_width(kWidth);

std::vector<uint8_t> RandomFrame() {
    std::vector<uint8_t> frame(kRowBytes * kHeight);
    std::mt19937 random(7);
    for (uint8_t& b : frame)
        b = static_cast<uint8_t>(random());
    return frame;
}

void BM_memcpy_frame(benchmark::State& state) {
    std::vector<uint8_t> source = RandomFrame(), destination(source.size());
    for (auto _ : state) {
        std::memcpy(destination.data(), source.data(), source.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(source.size()));
}

// The converter the grab uses, through the kernel table of this process.
void BM_flip_swizzle_BGRA_to_ARGB(benchmark::State& state, bool mirror) {
    std::vector<uint8_t> frame = RandomFrame();
    for (auto _ : state) {
        RP::_swizzle_framebuffer_GL_BGRA_to_ARGB(frame.data(), kHeight, kRowBytes, true, mirror);
        benchmark::ClobberMemory();
    }
    state.SetLabel(CoreVectorUnit::Name(kernels::Chosen().level));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frame.size()));
}

void BM_flip_swizzle_BGRX_to_RGBA(benchmark::State& state) {
    std::vector<uint8_t> frame = RandomFrame();
    for (auto _ : state) {
        RP::_swizzle_framebuffer_GL_BGRX_to_RGBA(frame.data(), kHeight, kRowBytes, true, false);
        benchmark::ClobberMemory();
    }
    state.SetLabel(CoreVectorUnit::Name(kernels::Chosen().level));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frame.size()));
}

// Each level's swizzle rows alone (the converter's), over the whole frame into a second buffer.
void BM_rows_BGRA_to_ARGB(benchmark::State& state, CoreVectorUnit::Level level) {
    if (!CoreVectorUnit::Runs(level)) {
        state.SkipWithError("not on this processor");
        return;
    }
    const kernels::Swizzle toARGB = {{3, 2, 1, 0}, 0xFFFFFFFFu, 0};
    const kernels::SwizzleFn swizzle = kernels::ForLevel(level).swizzle;
    std::vector<uint8_t> source = RandomFrame(), destination(source.size());
    for (auto _ : state) {
        for (size_t y = 0; y < kHeight; ++y)
            swizzle(source.data() + y * kRowBytes, destination.data() + y * kRowBytes, kWidth,
                    toARGB);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(source.size()));
}

} // namespace

CORE_DEFINE_LOG_IDENTITY("readback-bench", "readback-bench.log");

BENCHMARK(BM_memcpy_frame);
BENCHMARK_CAPTURE(BM_flip_swizzle_BGRA_to_ARGB, plain, false);
BENCHMARK_CAPTURE(BM_flip_swizzle_BGRA_to_ARGB, mirror, true);
BENCHMARK(BM_flip_swizzle_BGRX_to_RGBA);
BENCHMARK_CAPTURE(BM_rows_BGRA_to_ARGB, reference, CoreVectorUnit::kReference);
BENCHMARK_CAPTURE(BM_rows_BGRA_to_ARGB, sse2, CoreVectorUnit::kSSE2);
BENCHMARK_CAPTURE(BM_rows_BGRA_to_ARGB, ssse3, CoreVectorUnit::kSSSE3);
BENCHMARK_CAPTURE(BM_rows_BGRA_to_ARGB, avx2, CoreVectorUnit::kAVX2);

BENCHMARK_MAIN();
