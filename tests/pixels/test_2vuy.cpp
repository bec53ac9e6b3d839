#include "pixels/Q_2vuy_format.h"
#include "pixels/Q_2vuy_scanline.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Q_2vuy_scanline::Implementation;

std::vector<const Implementation*> AllImplementations() {
    std::vector<const Implementation*> all = {&Q_2vuy_scanline::kReference,
                                              &Q_2vuy_scanline::kSSE2};
    if (Q_2vuy_scanline::HasAVX2()) all.push_back(&Q_2vuy_scanline::kAVX2);
    if (Q_2vuy_scanline::HasAVX512()) all.push_back(&Q_2vuy_scanline::kAVX512);
    return all;
}

// Bytes whose end touches an inaccessible page: any access past the end faults.
class GuardedBytes {
public:
    explicit GuardedBytes(size_t size) {
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        mMapped = (size + page - 1) / page * page + page;
        mBase = static_cast<uint8_t*>(
            mmap(nullptr, mMapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        if (mBase == MAP_FAILED) std::abort();
        if (mprotect(mBase + mMapped - page, page, PROT_NONE) != 0) std::abort();
        mData = mBase + mMapped - page - size;
    }
    ~GuardedBytes() { munmap(mBase, mMapped); }
    GuardedBytes(const GuardedBytes&) = delete;
    uint8_t* data() const { return mData; }

private:
    uint8_t* mBase;
    size_t mMapped;
    uint8_t* mData;
};

std::vector<uint8_t> Decode(const Implementation& impl, const std::vector<uint8_t>& pairs,
                            int width) {
    std::vector<uint8_t> argb(4 * width, 0x5A);
    impl.toARGB(pairs.data(), argb.data(), width);
    return argb;
}

std::vector<uint8_t> Encode(const Implementation& impl, const std::vector<uint8_t>& argb,
                            int width) {
    std::vector<uint8_t> pairs(2 * width, 0x5A);
    impl.to2vuy(argb.data(), pairs.data(), width);
    return pairs;
}

// A row of `width` pixels (long enough for every vector step) repeating one pixel pair.
std::vector<uint8_t> Repeat(std::vector<uint8_t> unit, int times) {
    std::vector<uint8_t> row;
    for (int i = 0; i < times; ++i)
        row.insert(row.end(), unit.begin(), unit.end());
    return row;
}

constexpr int kWidth = 48; // AVX2 steps, SSE2 steps and a tail alike

TEST(Pixels2vuyFormat, CodesAndDefaults) {
    EXPECT_TRUE(Q_2vuy_format::IsValidPixelFormat(0x32767579));
    EXPECT_TRUE(Q_2vuy_format::IsValidPixelFormat(0x79757673));
    EXPECT_FALSE(Q_2vuy_format::IsValidPixelFormat(0x79757632)); // '2vuy' byte-swapped
    EXPECT_FALSE(Q_2vuy_format::IsValidPixelFormat(0x72617720)); // 'raw '
    EXPECT_FALSE(Q_2vuy_format::IsValidPixelFormat(0));

    const Q_2vuy_data view;
    EXPECT_EQ(view._Width, 0);
    EXPECT_EQ(view._Height, 0);
    EXPECT_EQ(view._RowBytes, 0);
    EXPECT_EQ(view._PixelFormat, 0x32767579u);
    EXPECT_EQ(view._PixelData, nullptr);

    const Q_2vuy_buffer buffer(5, 3); // odd width: whole pairs per row
    EXPECT_EQ(buffer._RowBytes, 12);
    EXPECT_EQ(buffer._PixelDataSize, 36);
    ASSERT_NE(buffer._PixelData, nullptr);
}

TEST(Pixels2vuyDecode, KnownPairsInEveryImplementation) {
    struct Case {
        std::vector<uint8_t> pair; // Cb, Y0, Cr, Y1
        std::vector<uint8_t> argb; // both pixels
    };
    const std::vector<Case> cases = {
        {{128, 16, 128, 16}, {255, 0, 0, 0, 255, 0, 0, 0}},               // black
        {{128, 235, 128, 235}, {255, 255, 255, 255, 255, 255, 255, 255}}, // white
        {{128, 255, 128, 0}, {255, 255, 255, 255, 255, 0, 0, 0}},         // clamped luma
        {{90, 81, 240, 200}, {255, 255, 24, 0, 255, 255, 163, 134}},      // clamped chroma
    };
    for (const Implementation* impl : AllImplementations()) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(impl->name) + " pair " + std::to_string(c.pair[0]) + "," +
                         std::to_string(c.pair[1]) + "," + std::to_string(c.pair[2]) + "," +
                         std::to_string(c.pair[3]));
            EXPECT_EQ(Decode(*impl, Repeat(c.pair, kWidth / 2), kWidth),
                      Repeat(c.argb, kWidth / 2));
        }
    }
}

TEST(Pixels2vuyEncode, KnownColoursInEveryImplementation) {
    struct Case {
        std::vector<uint8_t> argb; // two pixels; alpha must not matter
        std::vector<uint8_t> pair; // Cb, Y0, Cr, Y1
    };
    const std::vector<Case> cases = {
        {{0, 0, 0, 0, 255, 0, 0, 0}, {128, 16, 128, 16}},
        {{255, 255, 255, 255, 7, 255, 255, 255}, {128, 234, 128, 234}},
        // L0 = 117.645, L1 = 168.886; Cb = (110 + 96) >> 1, Cr = (40 + 174) >> 1.
        {{9, 200, 100, 50, 99, 10, 220, 130}, {103, 117, 107, 160}},
    };
    for (const Implementation* impl : AllImplementations()) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(impl->name) + " first pixel " + std::to_string(c.argb[1]) +
                         "," + std::to_string(c.argb[2]) + "," + std::to_string(c.argb[3]));
            EXPECT_EQ(Encode(*impl, Repeat(c.argb, kWidth / 2), kWidth),
                      Repeat(c.pair, kWidth / 2));
        }
    }
}

TEST(Pixels2vuyOddWidth, LastPixelUsesOnlyItsOwnBytes) {
    // Decoding: only Cb and Y exist for the last pixel; Cr counts as neutral.
    const std::vector<uint8_t> pairs = {128, 16, 128, 16, 90, 81};
    const std::vector<uint8_t> alone = Decode(Q_2vuy_scanline::kReference, pairs, 3);
    const std::vector<uint8_t> neutral = Decode(Q_2vuy_scanline::kReference, {90, 81, 128, 81}, 2);
    EXPECT_EQ(std::vector<uint8_t>(alone.begin() + 8, alone.end()),
              std::vector<uint8_t>(neutral.begin(), neutral.begin() + 4));

    // Encoding: the last pixel is a pair with itself, of which Cb and Y0 are written.
    const std::vector<uint8_t> argb = {0, 0, 0, 0, 0, 0, 0, 0, 9, 200, 100, 50};
    EXPECT_EQ(Encode(Q_2vuy_scanline::kReference, argb, 3),
              (std::vector<uint8_t>{128, 16, 128, 16, 96, 117}));
}

TEST(Pixels2vuyFastPaths, MatchReferenceOnRandomRowsWithoutOverrun) {
    std::vector<int> widths;
    for (int w = 1; w <= 67; ++w)
        widths.push_back(w);
    widths.push_back(640);
    std::mt19937 random(0x2765u);
    for (const Implementation* impl : AllImplementations()) {
        if (impl == &Q_2vuy_scanline::kReference) continue;
        for (int width : widths) {
            SCOPED_TRACE(std::string(impl->name) + " width " + std::to_string(width));
            GuardedBytes pairs(2 * width), argb(4 * width), expected(4 * width);
            for (int i = 0; i < 2 * width; ++i)
                pairs.data()[i] = static_cast<uint8_t>(random());
            for (int i = 0; i < 4 * width; ++i)
                argb.data()[i] = static_cast<uint8_t>(random());

            Q_2vuy_scanline::kReference.toARGB(pairs.data(), expected.data(), width);
            impl->toARGB(pairs.data(), argb.data(), width);
            EXPECT_EQ(std::memcmp(argb.data(), expected.data(), 4 * width), 0);

            for (int i = 0; i < 4 * width; ++i)
                argb.data()[i] = static_cast<uint8_t>(random());
            Q_2vuy_scanline::kReference.to2vuy(argb.data(), expected.data(), width);
            impl->to2vuy(argb.data(), pairs.data(), width);
            EXPECT_EQ(std::memcmp(pairs.data(), expected.data(), 2 * width), 0);
        }
    }
}

// The decoding input space is small enough to cover whole, and so is every colour of a pixel
// paired with itself in encoding (which makes its chroma codes visible undivided).
TEST(Pixels2vuyFastPaths, MatchReferenceForEveryInput) {
    const int width = 512;
    std::vector<uint8_t> pairs(2 * width), argb(4 * width), expected(4 * width), got(4 * width);
    for (const Implementation* impl : AllImplementations()) {
        if (impl == &Q_2vuy_scanline::kReference) continue;
        long decodeMismatches = 0, encodeMismatches = 0;
        for (int high = 0; high < 256; ++high) {
            for (int low = 0; low < 256; ++low) {
                for (int i = 0; i < width / 2; ++i) {
                    const uint8_t pair[4] = {static_cast<uint8_t>(high), static_cast<uint8_t>(i),
                                             static_cast<uint8_t>(low),
                                             static_cast<uint8_t>(255 - i)};
                    std::memcpy(&pairs[4 * i], pair, 4);
                    const uint8_t pixel[4] = {0, static_cast<uint8_t>(high),
                                              static_cast<uint8_t>(low), static_cast<uint8_t>(i)};
                    std::memcpy(&argb[8 * i], pixel, 4);
                    std::memcpy(&argb[8 * i + 4], pixel, 4);
                }
                Q_2vuy_scanline::kReference.toARGB(pairs.data(), expected.data(), width);
                impl->toARGB(pairs.data(), got.data(), width);
                decodeMismatches += std::memcmp(got.data(), expected.data(), 4 * width) != 0;
                Q_2vuy_scanline::kReference.to2vuy(argb.data(), expected.data(), width);
                impl->to2vuy(argb.data(), got.data(), width);
                encodeMismatches += std::memcmp(got.data(), expected.data(), 2 * width) != 0;
            }
        }
        EXPECT_EQ(decodeMismatches, 0) << impl->name;
        EXPECT_EQ(encodeMismatches, 0) << impl->name;
    }
}

// Checks the choice of this process; rerun below with the switch set.
TEST(Pixels2vuyDispatch, SelectionOfThisProcess) {
    const char* reference = std::getenv("VISTREL_PIXELS_REFERENCE");
    const bool wantReference = reference && *reference && std::strcmp(reference, "0") != 0;
    const std::string expected = wantReference                  ? "reference"
                                 : Q_2vuy_scanline::HasAVX512() ? "avx512"
                                 : Q_2vuy_scanline::HasAVX2()   ? "avx2"
                                                                : "sse2";
    EXPECT_EQ(Q_2vuy_scanline::Selected().name, expected);

    // The class-level conversion goes through the selection.
    const std::vector<uint8_t> pairs = {128, 235, 128, 16};
    std::vector<uint8_t> argb(8);
    Q_2vuy_data::ConvertScanline_2vuy_to_ARGB(pairs.data(), argb.data(), 2);
    EXPECT_EQ(argb, (std::vector<uint8_t>{255, 255, 255, 255, 255, 0, 0, 0}));
}

TEST(Pixels2vuyDispatch, EnvironmentSwitchSelectsReference) {
    for (const char* value : {"1", "0"}) {
        SCOPED_TRACE(std::string("VISTREL_PIXELS_REFERENCE=") + value);
        const testsupport::ProcessResult run =
            testsupport::RunProcess({"/proc/self/exe", "--gtest_filter=*SelectionOfThisProcess"},
                                    {std::string("VISTREL_PIXELS_REFERENCE=") + value});
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
        EXPECT_NE(run.out.find("[  PASSED  ] 1 test"), std::string::npos) << run.out;
    }
}

} // namespace
