#include "core/CoreMachDebugLog.h"
#include "core/CoreVectorUnit.h"
#include "pixels/OpenGL_ReadPixels.h"
#include "pixels/OpenGL_ReadPixels_paths.h"
#include "tests/support/GuardedBytes.h"
#include "tests/support/TestSupport.h"
#include "tests/support/VerifyReports.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

// A failed one-row allocation must come back as null here, also under the address sanitizer.
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}

namespace {

namespace RP = OpenGL::ReadPixels;
using Bytes = std::vector<uint8_t>;

std::vector<const RP::paths::Path*> AllPaths() {
    std::vector<const RP::paths::Path*> all = {&RP::paths::kReference, &RP::paths::kSSE2};
    if (CoreVectorUnit::Runs(CoreVectorUnit::kSSSE3)) all.push_back(&RP::paths::kSSSE3);
    if (CoreVectorUnit::Runs(CoreVectorUnit::kAVX2)) all.push_back(&RP::paths::kAVX2);
    return all;
}

// Two pixels 1 2 3 4 and 5 6 7 8 through each named converter.
TEST(ReadPixelsScanline, EachConverterWritesItsBytes) {
    struct Case {
        const char* name;
        RP::ScanlineConverter convert;
        Bytes expected;
    };
#define CONVERTER(name) #name, RP::swizzle_scanline_GL_##name
    const std::vector<Case> cases = {
        {CONVERTER(BGRA_to_ARGB), {4, 3, 2, 1, 8, 7, 6, 5}},
        {CONVERTER(BGRX_to_ARGB), {255, 3, 2, 1, 255, 7, 6, 5}},
        {CONVERTER(BGRA_to_RGBA), {3, 2, 1, 4, 7, 6, 5, 8}},
        {CONVERTER(BGRX_to_RGBA), {3, 2, 1, 255, 7, 6, 5, 255}},
        // The mirror twin of BGRA to ARGB drops alpha.
        {CONVERTER(BGRA_to_ARGB_flip_LR), {255, 7, 6, 5, 255, 3, 2, 1}},
        {CONVERTER(BGRX_to_ARGB_flip_LR), {255, 7, 6, 5, 255, 3, 2, 1}},
        {CONVERTER(BGRA_to_RGBA_flip_LR), {7, 6, 5, 8, 3, 2, 1, 4}},
        {CONVERTER(BGRX_to_RGBA_flip_LR), {7, 6, 5, 255, 3, 2, 1, 255}},
    };
#undef CONVERTER
    const Bytes source = {1, 2, 3, 4, 5, 6, 7, 8};
    for (const Case& c : cases) {
        Bytes row(8, 0xEE);
        c.convert(row.data(), source.data(), row.size());
        EXPECT_EQ(row, c.expected) << c.name;
    }
}

TEST(ReadPixelsScanline, FivePixelRowToRGBAIsOpaqueInEveryPath) {
    Bytes source, expected;
    for (uint8_t p = 0; p < 5; ++p) {
        const uint8_t b = 10 * p + 1, g = 10 * p + 2, r = 10 * p + 3;
        source.insert(source.end(), {b, g, r, uint8_t(100 + p)});
        expected.insert(expected.end(), {r, g, b, 255});
    }
    for (const RP::paths::Path* path : AllPaths()) {
        Bytes row(20, 0);
        path->row[RP::paths::kBGRX_to_RGBA](row.data(), source.data(), row.size());
        EXPECT_EQ(row, expected) << path->name;
    }
}

TEST(ReadPixelsFrame, TwoByTwoFlipsToTopDownARGB) {
    // Bottom row first, as OpenGL hands it.
    Bytes frame = {1, 2, 3, 4, 5, 6, 7, 8, 11, 12, 13, 14, 15, 16, 17, 18};
    RP::_swizzle_framebuffer_GL_BGRA_to_ARGB(frame.data(), 2, 8, true, false);
    EXPECT_EQ(frame, (Bytes{14, 13, 12, 11, 18, 17, 16, 15, 4, 3, 2, 1, 8, 7, 6, 5}));
}

// Rows and pixels land where flipping and mirroring put them, for odd and even row counts; each
// pixel is tagged with its own row and column.
TEST(ReadPixelsFrame, RowsAndPixelsLandInPlace) {
    const size_t width = 7;
    for (size_t rows : {1u, 2u, 3u, 6u}) {
        for (bool flip : {false, true}) {
            for (bool mirror : {false, true}) {
                SCOPED_TRACE("rows " + std::to_string(rows) + " flip " + std::to_string(flip) +
                             " mirror " + std::to_string(mirror));
                Bytes frame;
                for (size_t y = 0; y < rows; ++y)
                    for (size_t x = 0; x < width; ++x)
                        frame.insert(frame.end(), {uint8_t(x), uint8_t(y), 200, 77});
                RP::_swizzle_framebuffer_GL_BGRA_to_RGBA(frame.data(), rows, 4 * width, flip,
                                                         mirror);
                for (size_t y = 0; y < rows; ++y) {
                    for (size_t x = 0; x < width; ++x) {
                        const uint8_t* p = &frame[4 * (y * width + x)];
                        const size_t fromY = flip ? rows - 1 - y : y;
                        const size_t fromX = mirror ? width - 1 - x : x;
                        EXPECT_EQ(Bytes(p, p + 4), (Bytes{200, uint8_t(fromY), uint8_t(fromX), 77}))
                            << "at " << x << "," << y;
                    }
                }
            }
        }
    }
}

TEST(ReadPixelsFastPaths, MatchReferenceOnRandomRowsWithoutOverrun) {
    std::vector<size_t> widths;
    for (size_t w = 1; w <= 37; ++w)
        widths.push_back(w);
    widths.insert(widths.end(), {63, 65, 640, 1441});
    std::mt19937 random(0x0404u);
    for (const RP::paths::Path* path : AllPaths()) {
        if (path == &RP::paths::kReference) continue;
        for (int converter = 0; converter < RP::paths::kConverters; ++converter) {
            for (size_t width : widths) {
                SCOPED_TRACE(std::string(path->name) + " converter " + std::to_string(converter) +
                             " width " + std::to_string(width));
                const size_t rowBytes = RP::scanline_row_bytes_from_frame_pixel_width(width);
                testsupport::GuardedBytes source(rowBytes), got(rowBytes), expected(rowBytes);
                for (size_t i = 0; i < rowBytes; ++i)
                    source.data()[i] = static_cast<uint8_t>(random());
                RP::paths::kReference.row[converter](expected.data(), source.data(), rowBytes);
                path->row[converter](got.data(), source.data(), rowBytes);
                ASSERT_EQ(std::memcmp(got.data(), expected.data(), rowBytes), 0);
            }
        }
    }
}

// Two distinct report lines tell a failed allocation while flipping from one while not.
TEST(ReadPixelsFrame, NoScanlineLeavesTheFrameAsReadAndReports) {
    const size_t impossible = size_t(1) << 62;
    std::set<std::string> lines;
    for (bool flip : {true, false}) {
        Bytes frame = {1, 2, 3, 4};
        const std::string reports = testsupport::VerifyReports([&] {
            RP::_swizzle_framebuffer_GL_BGRA_to_ARGB(frame.data(), 1, impossible, flip, false);
        });
        EXPECT_EQ(frame, (Bytes{1, 2, 3, 4}));
        const std::string text = "VERIFY FAILED:  code : one_scanline_buffer in ";
        const size_t at = reports.find(text);
        ASSERT_NE(at, std::string::npos) << reports;
        EXPECT_NE(reports.find("(T_swizzle_framebuffer_GL_BGRX_to_XXXX)", at), std::string::npos);
        // "<file>:<line> (": the line is what tells the two apart.
        const size_t open = reports.find(" (", at);
        const size_t colon = reports.rfind(':', open);
        lines.insert(reports.substr(colon + 1, open - colon - 1));
    }
    EXPECT_EQ(lines.size(), 2u);
}

TEST(ReadPixelsFrame, PartialPixelRowsAreRefused) {
    Bytes frame = {1, 2, 3, 4, 5, 6};
    const std::string reports = testsupport::VerifyReports(
        [&] { RP::_swizzle_framebuffer_GL_BGRX_to_RGBA(frame.data(), 1, 6, false, false); });
    EXPECT_EQ(frame, (Bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_NE(reports.find("VERIFY FAILED:  code : buffer != nullptr"), std::string::npos)
        << reports;
}

// Checks the choice of this process, then reruns with the switch set.
TEST(ReadPixelsDispatch, SelectionFollowsTheSharedSwitch) {
    const bool reference = CoreVectorUnit::Chosen() == CoreVectorUnit::kReference;
    const std::string expected = reference                                      ? "reference"
                                 : CoreVectorUnit::Runs(CoreVectorUnit::kAVX2)  ? "avx2"
                                 : CoreVectorUnit::Runs(CoreVectorUnit::kSSSE3) ? "ssse3"
                                                                                : "sse2";
    EXPECT_EQ(RP::paths::Selected().name, expected);
    if (reference) return;
    // The frame cases again, on the plain form.
    const testsupport::ProcessResult run = testsupport::RunProcess(
        {"/proc/self/exe",
         "--gtest_filter=ReadPixelsScanline.*:ReadPixelsFrame.*:*SelectionFollowsTheSharedSwitch"},
        {"VISTREL_PIXELS_REFERENCE=1"});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("[  PASSED  ] 7 tests"), std::string::npos) << run.out;
}

} // namespace
