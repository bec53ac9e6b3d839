// A 640 x 480 read-back frame turned over and swizzled in place, beside a plain copy of the same
// frame into another buffer: the conversion should cost about what moving the frame costs.
#include "core/CoreLogIdentity.h"
#include "core/CoreVectorUnit.h"
#include "pixels/OpenGL_ReadPixels.h"
#include "pixels/OpenGL_ReadPixels_paths.h"

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

// The converter the grab uses, through the path this process selected.
void BM_flip_swizzle_BGRA_to_ARGB(benchmark::State& state, bool mirror) {
    std::vector<uint8_t> frame = RandomFrame();
    for (auto _ : state) {
        RP::_swizzle_framebuffer_GL_BGRA_to_ARGB(frame.data(), kHeight, kRowBytes, true, mirror);
        benchmark::ClobberMemory();
    }
    state.SetLabel(RP::paths::Selected().name);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frame.size()));
}

void BM_flip_swizzle_BGRX_to_RGBA(benchmark::State& state) {
    std::vector<uint8_t> frame = RandomFrame();
    for (auto _ : state) {
        RP::_swizzle_framebuffer_GL_BGRX_to_RGBA(frame.data(), kHeight, kRowBytes, true, false);
        benchmark::ClobberMemory();
    }
    state.SetLabel(RP::paths::Selected().name);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frame.size()));
}

// Each path's rows alone, over the whole frame into a second buffer.
void BM_rows_BGRA_to_ARGB(benchmark::State& state, const RP::paths::Path* path) {
    if ((path == &RP::paths::kAVX2 && !CoreVectorUnit::Runs(CoreVectorUnit::kAVX2)) ||
        (path == &RP::paths::kSSSE3 && !CoreVectorUnit::Runs(CoreVectorUnit::kSSSE3))) {
        state.SkipWithError("not on this processor");
        return;
    }
    std::vector<uint8_t> source = RandomFrame(), destination(source.size());
    for (auto _ : state) {
        for (size_t y = 0; y < kHeight; ++y)
            path->row[RP::paths::kBGRA_to_ARGB](destination.data() + y * kRowBytes,
                                                source.data() + y * kRowBytes, kRowBytes);
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
BENCHMARK_CAPTURE(BM_rows_BGRA_to_ARGB, reference, &RP::paths::kReference);
BENCHMARK_CAPTURE(BM_rows_BGRA_to_ARGB, sse2, &RP::paths::kSSE2);
BENCHMARK_CAPTURE(BM_rows_BGRA_to_ARGB, ssse3, &RP::paths::kSSSE3);
BENCHMARK_CAPTURE(BM_rows_BGRA_to_ARGB, avx2, &RP::paths::kAVX2);

BENCHMARK_MAIN();
