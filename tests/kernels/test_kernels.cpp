// The kernel table: the vector-level choice, the plain forms' bytes, and every vectorised form
// of every level this processor runs against the plain forms. Rows end against an inaccessible
// page, so a read or write past a row's end stops the test.
#include "kernels/KernelTable.h"
#include "tests/support/GuardedBytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using CoreVectorUnit::Level;
using testsupport::GuardedBytes;

const kernels::Table& Plain() {
    return kernels::ForLevel(CoreVectorUnit::kReference);
}

void Randomise(const GuardedBytes& bytes, std::mt19937& random) {
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes.data()[i] = uint8_t(random());
}

TEST(CoreVectorUnit, TheSwitchSelectsThePlainFormsElseTheWidestLevel) {
    Level widest = CoreVectorUnit::kSSE2;
    for (Level level : CoreVectorUnit::kLevels)
        if (CoreVectorUnit::Runs(level)) widest = level;
    const Level plain = CoreVectorUnit::kReference;
    for (const auto& [value, expected] : std::initializer_list<std::pair<const char*, Level>>{
             {nullptr, widest}, {"", widest}, {"0", widest}, {"1", plain}, {"yes", plain}})
        EXPECT_EQ(CoreVectorUnit::Choose(value), expected) << (value ? value : "unset");
    EXPECT_EQ(kernels::Chosen().level, CoreVectorUnit::Chosen());
}

// The plain forms' bytes; the vector forms are held against them below.
TEST(Plain2vuyRows, KnownPairsAndColours) {
    const struct {
        Bytes pair; // Cb, Y0, Cr, Y1
        Bytes argb; // both pixels
        bool decodes, encodes;
    } cases[] = {
        {{128, 16, 128, 16}, {255, 0, 0, 0, 255, 0, 0, 0}, true, true}, // black
        {{128, 235, 128, 235}, {255, 255, 255, 255, 255, 255, 255, 255}, true, false},
        {{128, 234, 128, 234}, {255, 255, 255, 255, 7, 255, 255, 255}, false, true}, // any alpha
        {{128, 255, 128, 0}, {255, 255, 255, 255, 255, 0, 0, 0}, true, false},       // clamped luma
        {{90, 81, 240, 200}, {255, 255, 24, 0, 255, 255, 163, 134}, true, false},    // and chroma
        // L0 = 117.645, L1 = 168.886; Cb = (110 + 96) >> 1, Cr = (40 + 174) >> 1.
        {{103, 117, 107, 160}, {9, 200, 100, 50, 99, 10, 220, 130}, false, true},
    };
    for (const auto& c : cases) {
        Bytes argb(8, 0x5A), pair(4, 0x5A);
        Plain().decode2vuy(c.pair.data(), argb.data(), 2);
        Plain().encode2vuy(c.argb.data(), pair.data(), 2);
        if (c.decodes) {
            EXPECT_EQ(argb, c.argb) << int(c.pair[0]) << "," << int(c.pair[1]);
        }
        if (c.encodes) {
            EXPECT_EQ(pair, c.pair) << int(c.argb[1]) << "," << int(c.argb[2]);
        }
    }
    // An odd width's last pixel: decoded with neutral Cr, encoded as a pair with itself of which
    // only Cb and Y are written.
    Bytes argb(12, 0x5A);
    Plain().decode2vuy(Bytes{128, 16, 128, 16, 90, 81}.data(), argb.data(), 3);
    Bytes neutral(8);
    Plain().decode2vuy(Bytes{90, 81, 128, 81}.data(), neutral.data(), 2);
    EXPECT_EQ(Bytes(argb.begin() + 8, argb.end()), Bytes(neutral.begin(), neutral.begin() + 4));
    Bytes pairs(6, 0x5A);
    Plain().encode2vuy(Bytes{0, 0, 0, 0, 0, 0, 0, 0, 9, 200, 100, 50}.data(), pairs.data(), 3);
    EXPECT_EQ(pairs, (Bytes{128, 16, 128, 16, 96, 117}));
}

class KernelLevel : public testing::TestWithParam<Level> {};

void Expect2vuyRowsMatch(const kernels::Table& t, std::mt19937& random) {
    for (int width = 1; width <= 640; width += width < 80 ? 1 : 560) {
        SCOPED_TRACE("2vuy width " + std::to_string(width));
        GuardedBytes pairs(2 * size_t(width)), argb(4 * size_t(width));
        GuardedBytes got(4 * size_t(width)), expected(4 * size_t(width));
        Randomise(pairs, random);
        Plain().decode2vuy(pairs.data(), expected.data(), width);
        t.decode2vuy(pairs.data(), got.data(), width);
        EXPECT_TRUE(got == expected);
        Randomise(argb, random);
        GuardedBytes encoded(2 * size_t(width)), plain(2 * size_t(width));
        Plain().encode2vuy(argb.data(), plain.data(), width);
        t.encode2vuy(argb.data(), encoded.data(), width);
        EXPECT_TRUE(encoded == plain);
    }
    // The decoding input space is small enough to cover whole, and so is every colour of a pixel
    // paired with itself in encoding (which shows its chroma codes undivided).
    const int width = 512;
    Bytes in2vuy(2 * width), inARGB(4 * width), expected(4 * width), got(4 * width);
    long decodeMismatches = 0, encodeMismatches = 0;
    for (int high = 0; high < 256; ++high) {
        for (int low = 0; low < 256; ++low) {
            for (int i = 0; i < width / 2; ++i) {
                const uint8_t pair[4] = {uint8_t(high), uint8_t(i), uint8_t(low), uint8_t(255 - i)};
                const uint8_t pixel[4] = {0, uint8_t(high), uint8_t(low), uint8_t(i)};
                std::memcpy(&in2vuy[4 * i], pair, 4);
                std::memcpy(&inARGB[8 * i], pixel, 4);
                std::memcpy(&inARGB[8 * i + 4], pixel, 4);
            }
            Plain().decode2vuy(in2vuy.data(), expected.data(), width);
            t.decode2vuy(in2vuy.data(), got.data(), width);
            decodeMismatches += std::memcmp(got.data(), expected.data(), 4 * width) != 0;
            Plain().encode2vuy(inARGB.data(), expected.data(), width);
            t.encode2vuy(inARGB.data(), got.data(), width);
            encodeMismatches += std::memcmp(got.data(), expected.data(), 2 * width) != 0;
        }
    }
    EXPECT_EQ(decodeMismatches, 0);
    EXPECT_EQ(encodeMismatches, 0);
}

// Every byte permutation, with the forced bits both users ask for, plain and mirrored.
void ExpectSwizzlesMatch(const kernels::Table& t, std::mt19937& random) {
    const uint32_t kAll = 0xFFFFFFFFu;
    const uint32_t forced[][2] = {{kAll, 0}, {kAll, 0xFFu}, {kAll, 0xFF000000u}, {~0xFFu, 0}};
    uint8_t from[4] = {0, 1, 2, 3};
    do {
        for (const auto& bits : forced) {
            const kernels::Swizzle s{{from[0], from[1], from[2], from[3]}, bits[0], bits[1]};
            for (size_t count : {0, 1, 3, 4, 7, 8, 9, 15, 16, 17, 31, 33, 640}) {
                SCOPED_TRACE(testing::Message()
                             << "swizzle " << int(from[0]) << int(from[1]) << int(from[2])
                             << int(from[3]) << " keep " << bits[0] << " set " << bits[1]
                             << " count " << count);
                GuardedBytes src(4 * count), got(4 * count), expected(4 * count);
                Randomise(src, random);
                Plain().swizzle(src.data(), expected.data(), count, s);
                t.swizzle(src.data(), got.data(), count, s);
                EXPECT_TRUE(got == expected);
                Plain().swizzleMirrored(src.data(), expected.data(), count, s);
                t.swizzleMirrored(src.data(), got.data(), count, s);
                EXPECT_TRUE(got == expected) << "mirrored";
            }
        }
    } while (std::next_permutation(from, from + 4));
}

// Random columns and row weights over two random source rows.
void ExpectBilinearRowsMatch(const kernels::Table& t, std::mt19937& random) {
    constexpr int kSourceWidth = 97;
    GuardedBytes top(4 * kSourceWidth), bottom(4 * kSourceWidth);
    for (int width : {1, 7, 8, 9, 16, 33, 640}) {
        SCOPED_TRACE("bilinear width " + std::to_string(width));
        std::vector<int32_t> offsets(static_cast<size_t>(width));
        std::vector<uint32_t> weights(static_cast<size_t>(width));
        for (int i = 0; i < width; ++i) {
            offsets[size_t(i)] = int32_t(4 * (random() % (kSourceWidth - 1)));
            const uint32_t left = random() % 129;
            weights[size_t(i)] = left | (128 - left) << 16;
        }
        const kernels::BilinearColumns columns{offsets.data(), weights.data(), width};
        Randomise(top, random);
        Randomise(bottom, random);
        const int wb = int(random() % 127) + 1;
        GuardedBytes got(4 * size_t(width)), expected(4 * size_t(width));
        kernels::BilinearPixels(columns, top.data(), bottom.data(), 128 - wb, wb, expected.data(),
                                0);
        t.bilinear(columns, top.data(), bottom.data(), 128 - wb, wb, got.data());
        EXPECT_TRUE(got == expected);
        // Column sums kept per source row and blended, the plain forms and the table's.
        using Steps = std::pair<kernels::BilinearColumnsFn, kernels::BilinearBlendFn>;
        const Steps plain{
            [](const kernels::BilinearColumns& c, const uint8_t* row, uint16_t* sums) {
                kernels::BilinearColumnSums(c, row, sums, 0);
            },
            [](const uint16_t* upper, const uint16_t* lower, int wt, int wb, uint8_t* out, int n) {
                kernels::BilinearBlendPixels(upper, lower, wt, wb, out, n, 0);
            }};
        for (const auto& [sums, blend] : {plain, Steps{t.bilinearColumns, t.bilinearBlend}}) {
            std::vector<uint16_t> upper(4 * size_t(width)), lower(4 * size_t(width));
            sums(columns, top.data(), upper.data());
            sums(columns, bottom.data(), lower.data());
            blend(upper.data(), lower.data(), 128 - wb, wb, got.data(), width);
            EXPECT_TRUE(got == expected) << "two steps";
        }
        // The half-width form against the plain row over the columns it stands for.
        if (2 * width > kSourceWidth) continue;
        for (int i = 0; i < width; ++i) {
            offsets[size_t(i)] = 8 * i;
            weights[size_t(i)] = 64 | 64 << 16;
        }
        kernels::BilinearPixels(columns, top.data(), bottom.data(), 128 - wb, wb, expected.data(),
                                0);
        t.bilinearHalf(top.data(), bottom.data(), 128 - wb, wb, got.data(), width);
        EXPECT_TRUE(got == expected) << "half width";
    }
}

// Block widths with and without a pair of pixels left over, partial last blocks, and single
// pixels (a count whose reciprocal needs 33 bits); the image's last row ends at the guard.
void ExpectBoxRowsMatch(const kernels::Table& t, std::mt19937& random) {
    for (size_t kx : {1, 2, 3, 5})
        for (size_t rows : {1, 2, 3})
            for (size_t width : {1, 2, 5, 9, 17, 640}) {
                SCOPED_TRACE(testing::Message()
                             << "box " << kx << "x" << rows << " width " << width);
                const size_t bytesPerRow = 4 * width + 12;
                GuardedBytes image((rows - 1) * bytesPerRow + 4 * width);
                Randomise(image, random);
                const size_t outWidth = (width + kx - 1) / kx;
                GuardedBytes got(4 * outWidth), expected(4 * outWidth);
                std::vector<uint32_t> columns(4 * width);
                const kernels::BoxBlocks blocks{image.data(), bytesPerRow, rows, width, kx};
                kernels::BoxRowReference(blocks, columns.data(), expected.data());
                t.box(blocks, columns.data(), got.data());
                EXPECT_TRUE(got == expected);
            }
}

TEST_P(KernelLevel, EveryFormGivesThePlainFormsBytes) {
    const Level level = GetParam();
    if (!CoreVectorUnit::Runs(level))
        GTEST_SKIP() << "this processor lacks " << CoreVectorUnit::Name(level);
    const kernels::Table& t = kernels::ForLevel(level);
    EXPECT_EQ(t.level, level);
    std::mt19937 random(0x2765u + unsigned(level));
    Expect2vuyRowsMatch(t, random);
    ExpectSwizzlesMatch(t, random);
    if (t.bilinear) ExpectBilinearRowsMatch(t, random);
    ExpectBoxRowsMatch(t, random);
}

INSTANTIATE_TEST_SUITE_P(Levels, KernelLevel,
                         testing::Values(CoreVectorUnit::kSSE2, CoreVectorUnit::kSSSE3,
                                         CoreVectorUnit::kAVX2, CoreVectorUnit::kAVX512),
                         [](const testing::TestParamInfo<Level>& info) {
                             return std::string(CoreVectorUnit::Name(info.param));
                         });

} // namespace
