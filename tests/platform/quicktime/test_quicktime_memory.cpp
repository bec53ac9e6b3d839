// Handles, fixed-point arithmetic and image description properties of the media toolkit layer.
#include "platform/quicktime/QuickTimeImageCompression.h"
#include "platform/quicktime/QuickTimeMemory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

using namespace platform::quicktime;

namespace {

TEST(Handles, ClearedHandleHasItsSizeAndZeroBytes) {
    Handle h = NewHandleClear(86);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(MemError(), noErr);
    EXPECT_EQ(GetHandleSize(h), 86);
    for (int i = 0; i < 86; ++i)
        ASSERT_EQ((*h)[i], 0) << i;
    DisposeHandle(h);
    EXPECT_EQ(MemError(), noErr);
    // An empty handle still has a usable master pointer.
    Handle empty = NewHandle(0);
    ASSERT_NE(empty, nullptr);
    EXPECT_NE(*empty, nullptr);
    EXPECT_EQ(GetHandleSize(empty), 0);
    DisposeHandle(empty);
}

TEST(Handles, GrowingKeepsTheContents) {
    Handle h = NewHandle(4);
    std::memcpy(*h, "abcd", 4);
    SetHandleSize(h, 1 << 20);
    ASSERT_EQ(MemError(), noErr);
    EXPECT_EQ(GetHandleSize(h), 1 << 20);
    EXPECT_EQ(std::memcmp(*h, "abcd", 4), 0);
    SetHandleSize(h, 2);
    EXPECT_EQ(GetHandleSize(h), 2);
    EXPECT_EQ(std::memcmp(*h, "ab", 2), 0);
    DisposeHandle(h);
}

TEST(Handles, ALockedHandleStaysPutAndCannotGrow) {
    Handle h = NewHandle(16);
    const SInt8 before = HGetState(h);
    EXPECT_EQ(before & kHandleLockedBit, 0);
    HLock(h);
    EXPECT_NE(HGetState(h) & kHandleLockedBit, 0);
    char* block = *h;
    SetHandleSize(h, 1 << 20);
    EXPECT_EQ(MemError(), memFullErr);
    EXPECT_EQ(GetHandleSize(h), 16);
    SetHandleSize(h, 8);
    EXPECT_EQ(MemError(), noErr);
    EXPECT_EQ(*h, block);
    HSetState(h, before);
    EXPECT_EQ(HGetState(h) & kHandleLockedBit, 0);
    SetHandleSize(h, 1 << 20);
    EXPECT_EQ(MemError(), noErr);
    DisposeHandle(h);
}

TEST(Handles, NullAndDisposedHandlesAreNilHandleErrors) {
    EXPECT_EQ(GetHandleSize(nullptr), 0);
    EXPECT_EQ(MemError(), nilHandleErr);
    Handle h = NewHandle(8);
    DisposeHandle(h);
    SetHandleSize(h, 4);
    EXPECT_EQ(MemError(), nilHandleErr);
    DisposeHandle(h);
    EXPECT_EQ(MemError(), nilHandleErr);
    EXPECT_EQ(NewHandle(-1), nullptr);
    EXPECT_EQ(MemError(), paramErr);
}

TEST(Handles, MemErrorBelongsToTheCallingThread) {
    SetHandleSize(nullptr, 4);
    ASSERT_EQ(MemError(), nilHandleErr);
    OSErr other = -1;
    std::thread([&] {
        Handle h = NewHandle(1);
        other = MemError();
        DisposeHandle(h);
    }).join();
    EXPECT_EQ(other, noErr);
    EXPECT_EQ(MemError(), nilHandleErr);
}

TEST(FixedPoint, DivisionsAndRatios) {
    EXPECT_EQ(FixRatio(1, 3), 0x5555);
    EXPECT_EQ(FixRatio(-1, 2), -0x8000);
    EXPECT_EQ(FixRatio(1, 0), 0x7FFFFFFF);
    // Raw 30 over a rate: the ticks at scale 30 of one frame.
    EXPECT_EQ(FixDiv(30, 0x1E0000), 1);
    EXPECT_EQ(FixDiv(30, 0x0F0000), 2);
    EXPECT_EQ(FixDiv(30, 0x1DF852), 1);
    EXPECT_EQ(FixDiv(30, 0x3D0000), 0);
    EXPECT_EQ(FixedDivide(0x10000, 0x30000), 0x5555);
    EXPECT_EQ(FixDiv(-0x10000, 0), -0x7FFFFFFF);
    EXPECT_EQ(FixMul(0x18000, 0x20000), 0x30000);
    EXPECT_EQ(FixMul(0x7FFF0000, 0x20000), 0x7FFFFFFF);
}

TEST(FixedPoint, ConversionsRoundHalvesAwayFromZero) {
    EXPECT_EQ(Long2Fix(-3), -0x30000);
    EXPECT_EQ(Long2Fix(40000), 0x7FFFFFFF);
    EXPECT_EQ(Fix2Long(0x18000), 2);
    EXPECT_EQ(Fix2Long(0x17FFF), 1);
    EXPECT_EQ(Fix2Long(-0x18000), -2);
    EXPECT_EQ(FixRound(0x1DF852), 30);
    EXPECT_EQ(FixRound(-0x14000), -1);
}

TEST(ImageDescriptions, EncodedSizeDefaultsToTheDescriptionsAndIsKeptPerHandle) {
    auto desc = reinterpret_cast<ImageDescriptionHandle>(NewHandleClear(sizeof(ImageDescription)));
    auto other = reinterpret_cast<ImageDescriptionHandle>(NewHandleClear(sizeof(ImageDescription)));
    (*desc)->width = 640;
    (*desc)->height = 480;
    SInt32 value = 0;
    ByteCount used = 0;
    ASSERT_EQ(ICMImageDescriptionGetProperty(desc, kQTPropertyClass_ImageDescription,
                                             kICMImageDescriptionPropertyID_EncodedWidth,
                                             sizeof value, &value, &used),
              noErr);
    EXPECT_EQ(value, 640);
    EXPECT_EQ(used, sizeof value);

    const SInt32 ninety = 90;
    ASSERT_EQ(ICMImageDescriptionSetProperty(desc, kQTPropertyClass_ImageDescription,
                                             kICMImageDescriptionPropertyID_EncodedHeight,
                                             sizeof ninety, &ninety),
              noErr);
    ICMImageDescriptionGetProperty(desc, kQTPropertyClass_ImageDescription,
                                   kICMImageDescriptionPropertyID_EncodedHeight, sizeof value,
                                   &value, nullptr);
    EXPECT_EQ(value, 90);
    ICMImageDescriptionGetProperty(other, kQTPropertyClass_ImageDescription,
                                   kICMImageDescriptionPropertyID_EncodedHeight, sizeof value,
                                   &value, nullptr);
    EXPECT_EQ(value, 0);
    // The property lives beside the record: the description keeps its 86 bytes.
    EXPECT_EQ(GetHandleSize(reinterpret_cast<Handle>(desc)), 86);
    EXPECT_EQ(ICMImageDescriptionSetProperty(desc, kQTPropertyClass_ImageDescription,
                                             kICMImageDescriptionPropertyID_EncodedWidth, 2,
                                             &ninety),
              paramErr);
    EXPECT_EQ(ICMImageDescriptionGetProperty(desc, kQTPropertyClass_ImageDescription,
                                             FourCC("none"), sizeof value, &value, nullptr),
              kQTPropertyNotSupportedErr);
    DisposeHandle(reinterpret_cast<Handle>(desc));
    DisposeHandle(reinterpret_cast<Handle>(other));
    EXPECT_EQ(ICMImageDescriptionGetProperty(desc, kQTPropertyClass_ImageDescription,
                                             kICMImageDescriptionPropertyID_EncodedHeight,
                                             sizeof value, &value, nullptr),
              paramErr);
}

} // namespace
