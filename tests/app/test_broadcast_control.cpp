// The broadcast control and the grab timer against a camera of the test's own (two frame buffers
// in memory, locks a reader may hold, a component that may fail): buffer alternation, the copy
// and the filtered stretch, erasing, the panel's source list and frame-rate labels, launch and
// quit, and the ticks that compose frames. The panel lives on a private Xvfb.
#include "app/shell/BroadcastPanel.h"
#include "app/shell/GrabberController.h"
#include "app/windows/GrabRegionWindowLayout.h"
#include "channel/SharedCameraBundle.h"
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"
#include "tests/support/AppKitServer.h"
#include "tests/support/VerifyReports.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

SharedCameraBundle SharedCameraBundle::sComponent(SharedCameraBundle::kVistrelX64);

using namespace platform::coregraphics;

namespace {

constexpr int kW = 640, kH = 480, kRowBytes = kW * 4;

struct FakeCamera final : CameraComponentCalls {
    std::array<std::vector<uint8_t>, 2> buffers{std::vector<uint8_t>(kRowBytes * kH, 0x55),
                                                std::vector<uint8_t>(kRowBytes* kH, 0x55)};
    bool installable = true, loaded = false, failBuffers = false;
    std::array<bool, 2> held{false, false}; // a reader keeps the buffer
    int current = -1, published = 0, allow = -1, installs = 0, removals = 0;

    int Index(void* address) const {
        for (int n : {0, 1})
            if (address == buffers[n].data()) return n;
        return -1;
    }
    bool InstallLocation(bool install, int) override {
        if (!install) loaded = false;
        (install ? installs : removals)++;
        return true;
    }
    bool IsComponentLoaded() const override { return loaded; }
    bool SetCameraControl(tagSHARED_CAMERA_CONTROL* control) override {
        allow = control->allowCameraConnections;
        return loaded;
    }
    bool GetWriteableFrameBuffer_N(int n, tagSHARED_CAMERA_BUFFER* r) override {
        if (failBuffers || !installable || r->sizeofSHARED_CAMERA_BUFFER != sizeof *r) return false;
        loaded = true;
        r->frameBufferPtr = buffers[n].data();
        r->frameBufferRowBytes = kRowBytes;
        r->frameBufferSizeBytes = kRowBytes * kH;
        r->frameWidth = kW;
        r->frameHeight = kH;
        return true;
    }
    bool SetCurrentReadBuffer(void* address) override {
        current = Index(address);
        published++;
        return current >= 0;
    }
    bool LockFrameBuffer(void* address) override {
        return Index(address) >= 0 && !held[Index(address)];
    }
    bool UnLockFrameBuffer(void* address) override { return Index(address) >= 0; }
};

// ARGB pixel (x, y) of a buffer, as a 32-bit big-endian value.
uint32_t Pixel(const std::vector<uint8_t>& frame, int x, int y) {
    const uint8_t* p = &frame[size_t(y) * kRowBytes + size_t(x) * 4];
    return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

// A device ARGB bitmap whose pixel is f(x, y).
template <typename F> std::unique_ptr<CoreGraphics::BitmapContext> Bitmap(int w, int h, F f) {
    auto bitmap = std::make_unique<CoreGraphics::BitmapContext>();
    EXPECT_TRUE(bitmap->Construct(w, h, CoreGraphics::BitmapContext::BitmapType_Device_ARGB));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t v = f(x, y);
            uint8_t* p =
                bitmap->GetImageDataBytes() + size_t(y) * bitmap->GetImageRowBytes() + x * 4;
            p[0] = uint8_t(v >> 24), p[1] = uint8_t(v >> 16), p[2] = uint8_t(v >> 8),
            p[3] = uint8_t(v);
        }
    return bitmap;
}

class BroadcastControl : public testsupport::AppKitServerSuite<testsupport::ScreenSize{1024, 768}> {
protected:
    void SetUp() override {
        AppKitServerSuite::SetUp();
        NSUserDefaults::standardUserDefaults().setStore({});
        built = BuildBroadcastPanel(NSMakeRect(0, 0, 360, 178), camera);
        ASSERT_TRUE(built.control);
    }
    // Launches with these defaults, as the program does.
    GrabBroadcastControl& Launch(std::optional<long> rebroadcast = 1) {
        if (rebroadcast)
            NSUserDefaults::standardUserDefaults().setInteger_forKey(*rebroadcast,
                                                                     "_rebroadcastButton");
        built.control->applicationDidFinishLaunching(nullptr);
        return *built.control;
    }
    FakeCamera camera;
    BroadcastPanel built;
};

TEST_F(BroadcastControl, LaunchAndQuitFollowTheSavedBox) {
    GrabBroadcastControl& c = Launch(std::nullopt);
    EXPECT_FALSE(c.isBroadcasting());
    EXPECT_TRUE(c.areCameraConnectionAllowed()) << "allowed by default";
    EXPECT_TRUE(c._allowCameraButton->isHidden());
    EXPECT_EQ(c._CGContext[0], nullptr);
    EXPECT_EQ(c._CGContext[1], nullptr);
    c._allowCameraButton->setState(NSOffState);
    c.cameraConnectChanged(c._allowCameraButton);
    EXPECT_EQ(camera.allow, -1) << "nothing reaches the channel while not broadcasting";

    c.setBroadcastEnabled(true);
    EXPECT_TRUE(c.isBroadcasting());
    EXPECT_EQ(camera.allow, 0) << "the box's setting is passed at the start";
    EXPECT_FALSE(c._allowCameraButton->isHidden());
    EXPECT_NE(c._CGContext[0], nullptr);
    EXPECT_NE(c._CIContext[1], nullptr);
    c.broadcastButtonChanged(nullptr);
    EXPECT_EQ(camera.installs, 1) << "a second change while on does nothing";

    c.applicationWillTerminate(nullptr);
    EXPECT_EQ(NSUserDefaults::standardUserDefaults().integerForKey("_rebroadcastButton"), 1);
    EXPECT_EQ(NSUserDefaults::standardUserDefaults().integerForKey("_allowCameraButton"), 0);
    EXPECT_FALSE(c.isBroadcasting());
    EXPECT_EQ(camera.removals, 1);
    EXPECT_TRUE(c._allowCameraButton->isHidden());
    EXPECT_EQ(c._CGContext[0], nullptr);

    // The next launch broadcasts again.
    BroadcastPanel next = BuildBroadcastPanel(NSMakeRect(0, 0, 360, 178), camera);
    next.control->applicationDidFinishLaunching(nullptr);
    EXPECT_TRUE(next.control->isBroadcasting());
    EXPECT_FALSE(next.control->areCameraConnectionAllowed());
}

TEST_F(BroadcastControl, AStopWithMissingContextsReportsEachAndReleasesTheRest) {
    GrabBroadcastControl& c = Launch();
    CGContextRelease(c._CGContext[1]);
    c._CGContext[1] = nullptr;
    c._CIContext[0].reset();
    const std::string reports = testsupport::VerifyReports([&] { c.setBroadcastEnabled(false); });
    EXPECT_TRUE(testsupport::VerifyReported(
        reports, "_CIContext[kNSUICamBroadcastControlFast_Buffer0]!=nil"));
    EXPECT_TRUE(testsupport::VerifyReported(reports,
                                            "_CGContext[kNSUICamBroadcastControlFast_Buffer1]!=0"));
    EXPECT_FALSE(testsupport::VerifyReported(
        reports, "_CGContext[kNSUICamBroadcastControlFast_Buffer0]!=0"));
    EXPECT_EQ(c._CGContext[0], nullptr);
    EXPECT_EQ(c._CIContext[1], nullptr);
}

// Both ways that lock: the bitmap copy and the drawing-context switch.
enum class Way { Copy, Switch };
bool Publish(GrabBroadcastControl& c, Way way, uint32_t colour) {
    if (way == Way::Copy) {
        auto bitmap = Bitmap(kW, kH, [&](int, int) { return colour; });
        c.broadcastFrame(bitmap.get());
        return true;
    }
    if (!c.beginSwitchContextsClear(false)) return false;
    auto bitmap = Bitmap(1, 1, [&](int, int) { return colour; });
    bitmap->Draw(c.currentCGContext(), CGRectMake(0, 0, kW, kH));
    c.endSwitchContexts();
    return true;
}

TEST_F(BroadcastControl, FramesAlternateBuffersAndGoThroughTheFreeOneWhileAReaderHoldsOne) {
    const struct {
        bool failBuffers;
        std::array<bool, 2> held;
        int written;    // the buffer that got the frame, -1 for none
        int indexAfter; // _SharedCameraBufferNumber after the frame
    } steps[] = {
        {false, {false, false}, 0, 1}, {false, {false, false}, 1, 0},
        {false, {false, false}, 0, 1}, {true, {false, false}, -1, 1}, // component fails
        {false, {true, true}, -1, 1},                                 // both held: dropped
        {false, {false, true}, 0, 1},  // 1 held: the other one, the index stays
        {false, {false, false}, 1, 0}, // let go: the alternation resumes
    };
    for (Way way : {Way::Copy, Way::Switch}) {
        FakeCamera fresh;
        BroadcastPanel panel = BuildBroadcastPanel(NSMakeRect(0, 0, 360, 178), fresh);
        GrabBroadcastControl& c = *panel.control;
        c.setBroadcastEnabled(true);
        ASSERT_TRUE(c.isBroadcasting());
        uint32_t colour = 0xff000010;
        for (size_t i = 0; i < std::size(steps); ++i, ++colour) {
            SCOPED_TRACE(testing::Message() << "way " << int(way) << " step " << i);
            const auto& s = steps[i];
            fresh.failBuffers = s.failBuffers;
            fresh.held = s.held;
            const int published = fresh.published;
            Publish(c, way, colour);
            EXPECT_EQ(c._SharedCameraBufferNumber, s.indexAfter);
            if (s.written < 0) {
                EXPECT_EQ(fresh.published, published);
                continue;
            }
            EXPECT_EQ(fresh.current, s.written) << "current right after it is written";
            EXPECT_EQ(Pixel(fresh.buffers[s.written], 320, 240), colour);
        }
    }
}

TEST_F(BroadcastControl, NotBroadcastingABitmapChangesNothing) {
    GrabBroadcastControl& c = Launch(0);
    auto bitmap = Bitmap(kW, kH, [](int, int) { return 0xff123456u; });
    c.broadcastFrame(bitmap.get());
    EXPECT_EQ(camera.published, 0);
    EXPECT_EQ(c._SharedCameraBufferNumber, 0);
    EXPECT_EQ(Pixel(camera.buffers[0], 0, 0), 0x55555555u);
}

TEST_F(BroadcastControl, ACameraSizedBitmapIsCopiedOthersAreStretchedWithFiltering) {
    GrabBroadcastControl& c = Launch();
    const auto noise = [](int x, int y) {
        return 0xff000000u | uint32_t(x * 7919 + y * 104729) % 0xffffffu;
    };
    auto exact = Bitmap(kW, kH, noise);
    c.broadcastFrame(exact.get());
    EXPECT_EQ(std::memcmp(camera.buffers[0].data(), exact->GetImageDataBytes(), kRowBytes * kH), 0);

    // One way stretched, the other kept: lines along the kept direction stay exact, and
    // alternating lines across the stretch blend rather than being picked.
    const struct {
        int w, h;
        bool alongX; // columns alternate (stretched in x) or rows do
    } cases[] = {{641, 480, true}, {640, 479, false}};
    for (const auto& s : cases) {
        SCOPED_TRACE(testing::Message() << s.w << "x" << s.h);
        auto stripes = Bitmap(s.w, s.h, [&](int x, int y) {
            const int along = s.alongX ? x : y, across = s.alongX ? y : x;
            return 0xff000000u | (along % 2 ? 0xff0000u : 0u) | uint32_t(across % 256) << 8;
        });
        c.broadcastFrame(stripes.get());
        const std::vector<uint8_t>& frame = camera.buffers[camera.current];
        bool blended = false;
        for (int i = 0; i < kW && i < kH; ++i) {
            const uint32_t p = Pixel(frame, s.alongX ? i : 100, s.alongX ? 100 : i);
            EXPECT_EQ(p >> 24, 0xffu);
            const uint32_t red = p >> 16 & 0xff;
            blended |= red > 8 && red < 247;
            if (!s.alongX) continue;
            EXPECT_EQ(p >> 8 & 0xff, 100u) << "a row keeps its value across an x stretch";
        }
        EXPECT_TRUE(blended) << "the stretch picked pixels instead of filtering";
        for (int x = 0; !s.alongX && x < kW; x += 37)
            EXPECT_EQ(Pixel(frame, x, 200) >> 8 & 0xff, uint32_t(x % 256));
    }
}

TEST_F(BroadcastControl, ClearingEmptiesTheFrameAndWithoutItTheOlderFrameStays) {
    GrabBroadcastControl& c = Launch();
    EXPECT_EQ(Pixel(camera.buffers[0], 5, 5), 0u) << "a start erases both frames";
    EXPECT_EQ(Pixel(camera.buffers[1], 600, 400), 0u);
    const auto drawLeftHalf = [&](bool clear, uint32_t colour) {
        ASSERT_TRUE(c.beginSwitchContextsClear(clear));
        auto dot = Bitmap(1, 1, [&](int, int) { return colour; });
        dot->Draw(c.currentCGContext(), CGRectMake(0, 0, kW / 2, kH));
        c.endSwitchContexts();
    };
    auto full = Bitmap(kW, kH, [](int, int) { return 0xff00ff00u; });
    c.broadcastFrame(full.get());     // buffer 0
    c.broadcastFrame(full.get());     // buffer 1
    drawLeftHalf(false, 0xffff0000u); // buffer 0 again
    EXPECT_EQ(Pixel(camera.buffers[0], 10, 10), 0xffff0000u);
    EXPECT_EQ(Pixel(camera.buffers[0], 600, 10), 0xff00ff00u) << "two publications back";
    drawLeftHalf(true, 0xff0000ffu); // buffer 1
    EXPECT_EQ(Pixel(camera.buffers[1], 10, 470), 0xff0000ffu);
    EXPECT_EQ(Pixel(camera.buffers[1], 600, 470), 0u);
}

TEST_F(BroadcastControl, CameraContextsFilterImagesThatAskNotToBe) {
    tagSHARED_CAMERA_BUFFER none{};
    EXPECT_EQ(CGContextRef_From_ARGB_CameraBuffer(none), nullptr);
    tagSHARED_CAMERA_BUFFER record{};
    record.sizeofSHARED_CAMERA_BUFFER = sizeof record;
    ASSERT_TRUE(camera.GetWriteableFrameBuffer_N(0, &record));
    CGContextRef context = CGContextRef_From_ARGB_CameraBuffer(record);
    ASSERT_TRUE(context);
    // A two-pixel black and white image that asks for nearest-neighbour, as screen images do.
    const uint8_t bytes[8] = {0, 0, 0, 255, 255, 255, 255, 255};
    CGColorSpaceRef rgb = CGColorSpaceCreateDeviceRGB();
    CGDataProviderRef provider = CGDataProviderCreateWithData(nullptr, bytes, 8, nullptr);
    CGImageRef image =
        CGImageCreate(2, 1, 8, 32, 8, rgb, kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little,
                      provider, nullptr, false, kCGRenderingIntentDefault);
    CGContextDrawImage(context, CGRectMake(0, 0, kW, kH), image);
    EXPECT_EQ(Pixel(camera.buffers[0], 0, 0), 0xff000000u);
    EXPECT_EQ(Pixel(camera.buffers[0], kW - 1, 0), 0xffffffffu);
    const uint32_t middle = Pixel(camera.buffers[0], kW / 2, 0) >> 16 & 0xff;
    EXPECT_GT(middle, 60u);
    EXPECT_LT(middle, 200u);
    CGImageRelease(image);
    CGDataProviderRelease(provider);
    CGColorSpaceRelease(rgb);
    CGContextRelease(context);
}

TEST_F(BroadcastControl, TheSourceListNamesUpToEightDisplaysAndMapsTheSelection) {
    GrabBroadcastControl& c = *built.control;
    const uint32_t ids[9] = {0x1a2b3c4d, 0x2, 0xdeadbeef, 4, 5, 6, 7, 8, 9};
    for (uint32_t count : {3u, 9u}) {
        SCOPED_TRACE(count);
        c.setDisplayMenuList(ids, count);
        const uint32_t listed = std::min(count, 8u);
        ASSERT_EQ(c._sourcePopUp->numberOfItems(), NSInteger(3 + listed)) << "old items removed";
        EXPECT_EQ(c._sourcePopUp->itemTitleAtIndex(3), "Display #0 (1A2B3C4D)");
        EXPECT_EQ(c._sourcePopUp->itemTitleAtIndex(5), "Display #2 (DEADBEEF)");
        if (count == 9) {
            EXPECT_EQ(c._sourcePopUp->itemTitleAtIndex(10), "Display #7 (00000008)");
        }
        const struct {
            int index;
            bool grabber;
            uint32_t screen;
        } picks[] = {{0, true, CGMainDisplayID()},
                     {1, false, CGMainDisplayID()},
                     {2, false, CGMainDisplayID()},
                     {4, false, 0x2},
                     {int(3 + listed - 1), false, ids[listed - 1]}};
        for (const auto& p : picks) {
            c._sourcePopUp->selectItemAtIndex(p.index);
            EXPECT_EQ(c.sourceGrabber(), p.grabber) << p.index;
            EXPECT_EQ(c.sourceScreenID(), p.screen) << p.index;
        }
    }
    EXPECT_FALSE(c._sourcePopUp->isEnabled()) << "screen images always show the grabber";
}

TEST_F(BroadcastControl, TheSliderSetsTheFactorAndItsLabel) {
    GrabBroadcastControl& c = *built.control;
    const struct {
        double value;
        float factor;
        const char* label;
    } stops[] = {
        {0, 4, "8 fps"}, {1, 3, "10 fps"}, {2, 2, "15 fps"}, {3, 1, "30 fps"}, {2.4, 2, "15 fps"}};
    for (const auto& s : stops) {
        c._frameRateSlider->setDoubleValue(s.value);
        c.frameRateChanged(c._frameRateSlider);
        EXPECT_EQ(c.frameRateFactor(), s.factor) << s.value;
        EXPECT_EQ(c._frameRateDisplay->stringValue(), s.label) << s.value;
    }
}

TEST(GrabClock, EveryNthTickComposesCountingFromTheTimersStart) {
    const struct {
        float factor;
        const char* composes; // ticks 1 to 12
    } rates[] = {{1, "xxxxxxxxxxxx"},
                 {2, ".x.x.x.x.x.x"},
                 {2.9f, ".x.x.x.x.x.x"},
                 {4, "...x...x...x"},
                 {0.5f, "xxxxxxxxxxxx"}};
    for (const auto& r : rates) {
        int32_t counter = 0;
        std::string seen;
        for (int tick = 1; tick <= 12; ++tick)
            seen += GrabClockTick(counter, r.factor) ? 'x' : '.';
        EXPECT_EQ(seen, r.composes) << r.factor;
        EXPECT_EQ(counter, 12);
    }
    int32_t counter = INT32_MAX - 1;
    EXPECT_FALSE(GrabClockTick(counter, 4));
    EXPECT_TRUE(GrabClockTick(counter, 4)) << "past the largest count it wraps and goes on";
    EXPECT_EQ(counter, INT32_MIN);
}

TEST_F(BroadcastControl, TicksComposeFramesOnlyWhileBroadcastingWithTheCounterRunningAlways) {
    GrabberController controller;
    auto grabber = BuildGrabRegionWindow(NSMakeRect(100, 100, 360, 280));
    grabber->makeKeyAndOrderFront(nullptr);
    controller.mGrabWindow = grabber.get();
    GrabBroadcastControl& c = *built.control;
    controller._broadcastControl = &c;
    c._frameRateSlider->setDoubleValue(2); // factor 2
    for (int tick = 0; tick < 3; ++tick)
        controller.grabTimer(nullptr);
    EXPECT_EQ(controller.grabCounter(), 3);
    EXPECT_EQ(camera.published, 0);
    c.setBroadcastEnabled(true);
    std::string frames;
    for (int tick = 4; tick <= 9; ++tick) {
        const int before = camera.published;
        controller.grabTimer(nullptr);
        frames += camera.published > before ? 'x' : '.';
    }
    EXPECT_EQ(frames, "x.x.x.") << "the phase carries over the start";
}

} // namespace
