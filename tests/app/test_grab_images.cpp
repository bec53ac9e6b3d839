// The grabbed bitmap: shrinking that averages, crops in the y-up coordinates of the read-back,
// and the menu items that wait for a grab. (Display images taken over, the save size applied to a
// grab, and a grab saved at its own size pixel for pixel, are the program's test.)
#include "app/capture/OpenGLBitmaps.h"
#include "app/shell/GrabWindowController.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

using namespace platform::appkit;
using namespace platform::coregraphics;

namespace {

// A bitmap whose pixel (x, y) (top row first) is 0xff000000 | x << 12 | y.
std::unique_ptr<NSBitmapImageRep> Numbered(int width, int height) {
    auto bitmap = NSBitmapImageRep::imageRepWithSize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bitmap->bitmapData()[y * width + x] = 0xff000000u | uint32_t(x) << 12 | uint32_t(y);
    return bitmap;
}

TEST(GrabImages, ShrinkingAveragesRatherThanPicksPixels) {
    // Black and white columns halved become grey: a nearest-pixel scale would keep one of them.
    auto stripes = NSBitmapImageRep::imageRepWithSize(64, 8);
    for (int i = 0; i < 64 * 8; ++i)
        stripes->bitmapData()[i] = (i % 2) ? 0xffffffffu : 0xff000000u;
    const auto half = stripes->scaledToSize(32, 8);
    ASSERT_TRUE(half);
    for (int x = 1; x < 31; ++x)
        EXPECT_NEAR(int(half->bitmapData()[3 * 32 + x] >> 8 & 0xff), 128, 8) << "green at " << x;
}

TEST(GrabImages, CropsAreInYUpCoordinatesClippedAndRoundedOutwards) {
    // The rectangle, y up; the part expected, top-left origin (none when 0 wide).
    const std::tuple<NSRect, int, int, int, int> cases[] = {
        {{{2, 1}, {3, 2}}, 2, 5, 3, 2},     // inside: y-up rows 1..2 are rows 5..6
        {{{-4, -4}, {6, 6}}, 0, 6, 2, 2},   // over the bottom-left corner
        {{{8.5, 6.5}, {9, 9}}, 8, 0, 2, 2}, // over the top-right, rounded outwards
        {{{10, 0}, {4, 4}}, 0, 0, 0, 0},    // right of the bitmap
        {{{1, 1}, {0, 0}}, 0, 0, 0, 0},     // empty
    };
    const auto bitmap = Numbered(10, 8);
    for (const auto& [rect, x, y, width, height] : cases) {
        SCOPED_TRACE(testing::Message() << rect.origin.x << "," << rect.origin.y);
        const auto part = bitmapCroppedWithRect_withRect(*bitmap, rect);
        ASSERT_EQ(part != nullptr, width > 0);
        if (!part) continue;
        ASSERT_EQ(std::make_pair(part->pixelsWide(), part->pixelsHigh()),
                  std::make_pair(width, height));
        for (int i = 0; i < width * height; ++i)
            EXPECT_EQ(part->bitmapData()[i],
                      bitmap->bitmapData()[(y + i / width) * 10 + x + i % width]);
    }
}

TEST(GrabImages, CopyAndSaveItemsWaitForAGrab) {
    // Copying and the save panels (the first five) need a grab; grabbing and the defaults do not.
    const std::vector<std::string> actions(
        {"copy:", "saveAs:", "saveGrabAs_PNG:", "saveGrabAs_TIFF:", "saveGrabAs_JPEG:",
         "grabQuickSave:", "grabAndCopy:", "selectDefault_SavePNG:"});
    GrabWindowController controller;
    EXPECT_EQ(controller.imageRepForSaving(), nullptr) << "no grab, nothing to save";
    for (bool grabbed : {false, true}) {
        if (grabbed) controller.setGrabbedBitmapImageRep(Numbered(4, 4));
        for (size_t i = 0; i < actions.size(); ++i) {
            NSMenuItem item("item", NSSelectorFromString(actions[i].c_str()), "");
            EXPECT_EQ(controller.validateMenuItem(&item), grabbed || i >= 5) << actions[i];
        }
    }
    // A failed grab (no display image, no bitmap) leaves no grab to copy.
    EXPECT_EQ(NSBitmapImageRep::initWithCGImage(nullptr), nullptr);
    EXPECT_EQ(NSBitmapImageRep::imageRepWithSize(0, 10), nullptr);
    EXPECT_FALSE(controller.setGrabbedBitmapImageRep(nullptr));
    EXPECT_FALSE(controller.hasGrabbedImage());
}

} // namespace
