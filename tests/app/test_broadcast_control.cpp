// The broadcast control, its panel and the grab timer against a camera of the test's own: two
// frame buffers in memory whose locks a reader may hold, and a component that may fail. The
// panel lives on a private Xvfb.
#include "app/shell/BroadcastPanel.h"
#include "app/shell/GrabberController.h"
#include "app/windows/GrabRegionWindowLayout.h"
#include "channel/SharedCameraBundle.h"
#include "platform/quartzdisplay/CoreGraphicsDisplays.h"
#include "tests/support/AppKitServer.h"

#include <cctype>
#include <cstring>
#include <map>

SharedCameraBundle SharedCameraBundle::sComponent(SharedCameraBundle::kVistrelX64);

using namespace platform::coregraphics;

namespace {

constexpr int kW = 640, kH = 480, kRow = kW * 4;

struct FakeCamera final : CameraComponentCalls {
    std::vector<uint8_t> buffers[2] = {std::vector<uint8_t>(kRow * kH, 0x55),
                                       std::vector<uint8_t>(kRow* kH, 0x55)};
    bool loaded = false, failBuffers = false, held[2] = {false, false};
    int waitedOn = -1, current = -1, published = 0, allow = -1, installs = 0;

    int Index(void* a) const {
        return a == buffers[0].data() ? 0 : a == buffers[1].data() ? 1 : -1;
    }
    bool InstallLocation(bool install, int) override {
        installs += install;
        loaded &= install;
        return true;
    }
    bool IsComponentLoaded() const override { return loaded; }
    bool SetCameraControl(tagSHARED_CAMERA_CONTROL* c) override {
        allow = c->allowCameraConnections;
        return true;
    }
    bool GetWriteableFrameBuffer_N(int n, tagSHARED_CAMERA_BUFFER* r) override {
        loaded = true; // the component loads, then may refuse the channel
        if (failBuffers || r->sizeofSHARED_CAMERA_BUFFER != sizeof *r) return false;
        *r = {r->sizeofSHARED_CAMERA_BUFFER, buffers[n].data(), kRow, kRow * kH, kW, kH, 0};
        return true;
    }
    bool SetCurrentReadBuffer(void* a) override {
        current = Index(a);
        return ++published;
    }
    // Waiting for a reader stalls the program: only when it holds both.
    bool LockFrameBuffer(void* a) override {
        EXPECT_TRUE(failBuffers || (held[0] && held[1])) << "a wait while a buffer is free";
        waitedOn = Index(a);
        return !failBuffers && !held[Index(a)];
    }
    bool TryLockFrameBuffer(void* a) override { return !failBuffers && !held[Index(a)]; }
    bool UnLockFrameBuffer(void*) override { return true; }
};

// ARGB pixel (x, y) of a frame, as a 32-bit value.
uint32_t Pixel(const std::vector<uint8_t>& frame, int x, int y) {
    const uint8_t* p = &frame[size_t(y) * kRow + size_t(x) * 4];
    return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

// A device ARGB bitmap whose pixel (x, y) is f(x, y).
template <typename F> std::unique_ptr<CoreGraphics::BitmapContext> Bitmap(int w, int h, F f) {
    auto bitmap = std::make_unique<CoreGraphics::BitmapContext>();
    EXPECT_TRUE(bitmap->Construct(w, h, CoreGraphics::BitmapContext::BitmapType_Device_ARGB));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int i = 0; i < 4; ++i)
                bitmap->GetImageDataBytes()[y * bitmap->GetImageRowBytes() + x * 4 + i] =
                    uint8_t(f(x, y) >> (24 - 8 * i));
    return bitmap;
}

class BroadcastControl : public testsupport::AppKitServerSuite<testsupport::ScreenSize{1024, 768}> {
protected:
    // Fills a rectangle in screen coordinates with one colour, as another program would.
    static void Fill(NSRect r, uint32_t colour) {
        const int w = int(r.size.width), h = int(r.size.height), top = 768 - int(r.origin.y) - h;
        ASSERT_TRUE(testsupport::PutRootPixels(Display(), int(r.origin.x), top, w, h,
                                               std::vector<uint32_t>(size_t(w) * h, colour)));
    }
    void SetUp() override {
        AppKitServerSuite::SetUp();
        NSUserDefaults::standardUserDefaults().setStore({});
        built = BuildBroadcastPanel(NSMakeRect(0, 0, 360, 178), camera);
        c = built.control;
    }
    FakeCamera camera;
    BroadcastPanel built;
    GrabBroadcastControl* c = nullptr;
};

TEST_F(BroadcastControl, TheSavedBoxDecidesTheLaunchAndTheQuitSavesIt) {
    c->applicationDidFinishLaunching(nullptr); // first launch: nothing saved
    EXPECT_FALSE(c->isBroadcasting());
    EXPECT_TRUE(c->areCameraConnectionAllowed() && c->_allowCameraButton->isHidden());
    auto frame = Bitmap(kW, kH, [](int, int) { return 0xff123456u; });
    c->broadcastFrame(frame.get());
    c->_allowCameraButton->setState(NSOffState);
    c->_allowCameraButton->sendAction();
    EXPECT_EQ(camera.published + camera.allow, -1) << "nothing reaches the camera while off";

    c->setBroadcastEnabled(true);
    EXPECT_TRUE(c->isBroadcasting() && !c->_allowCameraButton->isHidden());
    EXPECT_EQ(camera.allow, 0) << "the allow box is passed on at the start";
    for (const NSInteger state : {NSOnState, NSOffState}) {
        c->_allowCameraButton->setState(state);
        c->_allowCameraButton->sendAction();
        EXPECT_EQ(camera.allow, state == NSOnState) << "and its changes while on";
    }
    c->broadcastButtonChanged(nullptr);
    EXPECT_EQ(camera.installs, 1) << "a change while on does nothing";
    c->applicationWillTerminate(nullptr);
    EXPECT_FALSE(c->isBroadcasting());

    BroadcastPanel next = BuildBroadcastPanel(NSMakeRect(0, 0, 360, 178), camera);
    next.control->applicationDidFinishLaunching(nullptr);
    EXPECT_TRUE(next.control->isBroadcasting()) << "on at quit, on at the next launch";
    EXPECT_FALSE(next.control->areCameraConnectionAllowed());
}

// A start that cannot reach the channel shows the broadcast off, says so and is tried again until
// the channel opens; a quit ends the waiting, and the next launch waits again.
TEST_F(BroadcastControl, AStartThatFailsShowsOffAndIsRetriedUntilTheChannelOpens) {
    camera.failBuffers = true;
    c->setBroadcastEnabled(true);
    EXPECT_FALSE(c->isBroadcasting() || c->isBroadcastEnabled() || c->_statusText->isHidden());
    EXPECT_TRUE(c->isWaitingToBroadcast() && c->_allowCameraButton->isHidden());
    c->applicationWillTerminate(nullptr);
    EXPECT_FALSE(c->isWaitingToBroadcast());
    c->applicationDidFinishLaunching(nullptr);
    ASSERT_TRUE(c->isWaitingToBroadcast());
    camera.failBuffers = false;
    const double wait = NSUICamBroadcastControl::kRetrySeconds + 3;
    EXPECT_TRUE(NSRunLoopRunUntil(wait, [&] { return c->isBroadcasting(); }));
    EXPECT_TRUE(c->isBroadcastEnabled() && c->_statusText->isHidden());
}

TEST_F(BroadcastControl, FramesAlternateBuffersAndGoThroughTheFreeOneWhileAReaderHoldsOne) {
    const struct {
        bool failBuffers, held0, held1;
        int written, indexAfter; // written -1: no frame
    } steps[] = {{false, false, false, 0, 1}, {false, false, false, 1, 0},
                 {false, false, false, 0, 1}, {true, false, false, -1, 1},
                 {false, true, true, -1, 1},  {false, false, true, 0, 1},
                 {false, false, false, 1, 0}};
    for (const int way : {0, 1}) { // a bitmap copied, an image drawn
        FakeCamera fresh;
        BroadcastPanel panel = BuildBroadcastPanel(NSMakeRect(0, 0, 360, 178), fresh);
        GrabBroadcastControl& control = *panel.control;
        control.setBroadcastEnabled(true);
        for (const auto& s : steps) {
            const uint32_t colour = 0xff000010 + uint32_t(&s - steps);
            SCOPED_TRACE(testing::Message() << way << " " << colour);
            fresh.failBuffers = s.failBuffers, fresh.held[0] = s.held0, fresh.held[1] = s.held1;
            const int published = fresh.published;
            auto bitmap = Bitmap(way ? 1 : kW, way ? 1 : kH, [&](int, int) { return colour; });
            if (way == 0) {
                control.broadcastFrame(bitmap.get());
            } else {
                CGImageRef image = bitmap->ConstructCGImage();
                control.broadcastImage(image);
                CGImageRelease(image);
            }
            EXPECT_EQ(control.frameWriter().NextBuffer(), s.indexAfter);
            EXPECT_EQ(fresh.published - published, s.written >= 0);
            if (s.written < 0) continue;
            EXPECT_EQ(fresh.current, s.written);
            EXPECT_EQ(Pixel(fresh.buffers[s.written], 320, 240), colour);
        }
        // The due buffer: readers move on from it to the newest frame.
        EXPECT_EQ(fresh.waitedOn, 1);
    }
}

// A start erases the frames. A camera-sized bitmap is copied, others are stretched with filtering.
// Drawing clears the frame first or leaves the older frame under it. A repeat publishes the last
// frame again through the next buffer: copied there unless it holds that frame already, never an
// older one.
TEST_F(BroadcastControl, FramesAreCopiedStretchedDrawnAndRepeated) {
    c->setBroadcastEnabled(true);
    EXPECT_EQ(Pixel(camera.buffers[1], 600, 400), 0u) << "a start erases the frames";
    EXPECT_EQ(c->frameWriter().Repeat(), SharedCameraFrameWriter::Result::kSkipped) << "no frame";
    auto exact = Bitmap(kW, kH, [](int x, int y) {
        return 0xff000000u | uint32_t(x * 7919 + y * 104729) % 0xffffffu;
    });
    c->broadcastFrame(exact.get());
    EXPECT_EQ(std::memcmp(camera.buffers[0].data(), exact->GetImageDataBytes(), kRow * kH), 0);
    // Stretched across only: green, which varies down, stays exact; red, alternating across the
    // stretch, blends rather than being picked.
    auto stripes = Bitmap(641, 480, [](int x, int y) {
        return 0xff000000u | (x % 2 ? 0xff0000u : 0u) | uint32_t(y) % 256 << 8;
    });
    c->broadcastFrame(stripes.get());
    bool blended = false;
    for (int x = 0; x < kW; ++x) {
        const uint32_t p = Pixel(camera.buffers[camera.current], x, 100);
        blended |= (p >> 16 & 0xff) > 8 && (p >> 16 & 0xff) < 247;
        EXPECT_EQ(p >> 8 & 0xff, 100u) << x;
    }
    EXPECT_TRUE(blended);
    auto green = Bitmap(kW, kH, [](int, int) { return 0xff00ff00u; });
    c->broadcastFrame(green.get());
    c->broadcastFrame(green.get());
    for (const bool clear : {false, true}) {
        ASSERT_TRUE(c->beginSwitchContextsClear(clear));
        Bitmap(1, 1, [](int, int) {
            return 0xffff0000u;
        })->Draw(c->currentCGContext(), CGRectMake(0, 0, kW / 2, kH));
        c->endSwitchContexts();
        EXPECT_EQ(Pixel(camera.buffers[camera.current], 10, 10), 0xffff0000u);
        EXPECT_EQ(Pixel(camera.buffers[camera.current], 600, 10), clear ? 0u : 0xff00ff00u);
    }
    uint32_t last = 0;
    for (const uint32_t colour : {0xff00ff00u, 0u, 0u, 0xff0000ffu, 0u, 0xffff0000u, 0u}) {
        if (colour) { // a frame, else a repeat
            auto frame = Bitmap(kW, kH, [&](int, int) { return colour; });
            c->broadcastFrame(frame.get());
            last = colour;
            continue;
        }
        EXPECT_EQ(c->frameWriter().Repeat(), SharedCameraFrameWriter::Result::kWritten);
        EXPECT_EQ(Pixel(camera.buffers[camera.current], 320, 240), last) << last;
    }
}

TEST_F(BroadcastControl, TheSourceListNamesUpToEightDisplaysAndMapsTheSelection) {
    const uint32_t ids[9] = {0x1a2b3c4d, 0x2, 0xdeadbeef, 4, 5, 6, 7, 8, 9};
    for (uint32_t count : {3u, 9u}) {
        c->setDisplayMenuList(ids, count);
        const uint32_t listed = std::min(count, 8u);
        ASSERT_EQ(c->_sourcePopUp->numberOfItems(), NSInteger(3 + listed)) << "old items removed";
        EXPECT_EQ(c->_sourcePopUp->itemTitleAtIndex(3), "Display #0 (1A2B3C4D)");
        EXPECT_EQ(c->_sourcePopUp->itemTitleAtIndex(listed + 2),
                  count == 3 ? "Display #2 (DEADBEEF)" : "Display #7 (00000008)");
        const uint32_t main = CGMainDisplayID(), last = ids[listed - 1];
        for (const auto& [index, screen] :
             std::map<int, uint32_t>({{0, main}, {2, main}, {4, 2}, {int(listed + 2), last}})) {
            c->_sourcePopUp->selectItemAtIndex(index);
            EXPECT_EQ(c->sourceGrabber(), index == 0);
            EXPECT_EQ(c->sourceScreenID(), screen) << index;
        }
    }
    EXPECT_FALSE(c->_sourcePopUp->isEnabled()) << "screen images always show the grabber";
}

TEST_F(BroadcastControl, TheSliderSetsTheRateAndTicksGrabOnlyWhileBroadcastingAndWhatChanged) {
    // The last stop leaves a frame every fourth tick.
    const std::tuple<double, float, const char*> stops[] = {
        {1, 3, "10 fps"}, {2, 2, "15 fps"}, {3, 1, "30 fps"}, {2.4, 2, "15 fps"}, {0, 4, "8 fps"}};
    for (const auto& [value, factor, label] : stops) {
        c->_frameRateSlider->setDoubleValue(value);
        c->frameRateChanged(c->_frameRateSlider);
        EXPECT_EQ(c->frameRateFactor(), factor) << value;
        EXPECT_EQ(c->_frameRateDisplay->stringValue(), label) << value;
    }
    GrabberController controller;
    auto grabber = BuildGrabRegionWindow(NSMakeRect(100, 100, 360, 280));
    grabber->makeKeyAndOrderFront(nullptr);
    controller.mGrabWindow = grabber.get();
    controller._broadcastControl = built.control;
    std::string frames;
    for (int tick = 1; tick <= 9; ++tick) {
        if (tick == 4) c->setBroadcastEnabled(true);
        Fill(controller.grabberRectangleInScreenCoordinates(), 0x102030u * uint32_t(tick));
        const int before = camera.published;
        controller.grabTimer(nullptr);
        frames += camera.published > before ? 'x' : '.';
    }
    EXPECT_EQ(frames, "...x...x.") << "the phase carries over the start";
    EXPECT_EQ(controller.grabCounter(), 9);

    // Now every tick, on the timer. A tick grabs the screen for the first frame, and then only when
    // something was drawn under the grab view or the view moved: a still screen's frame goes out
    // again (now and then) ungrabbed. A grab replaces the mark left in the frame; a repeat keeps
    // it. Still, the timer sleeps; without a broadcast it stops, and a start starts it again.
    c->_frameRateSlider->setDoubleValue(3);
    c->frameRateChanged(c->_frameRateSlider);
    controller.constructGrabberTimer();
    constexpr uint32_t kMark = 0xff0000ffu;
    uint32_t under = 0xff204060u;
    // The steps: stop (x), Start, a still tick (.), draw Under the view or beside it (b), Move the
    // view, stop and staRt between two ticks. Upper case: the tick grabs.
    for (const char step : std::string("xS.U.bM.UR.xS")) {
        SCOPED_TRACE(step);
        NSRunLoopRunUntil(0.2, [] { return false; }); // the grabber's own drawing settles
        controller.grabTimer(nullptr);
        EXPECT_TRUE(step != '.' || controller.grabTimerSleeps()) << "until something is drawn";
        for (std::vector<uint8_t>& buffer : camera.buffers)
            std::memcpy(buffer.data(), &kMark, 4);
        const NSRect view = controller.grabberRectangleInScreenCoordinates(), f = grabber->frame();
        if (step == 'S') Fill(view, under);
        if (step == 'U') Fill(view, under += 0x00102030u);
        if (step == 'b') Fill(NSMakeRect(700, 100, 100, 100), 0xffff00ffu);
        if (step == 'M')
            grabber->setFrame_display(
                NSMakeRect(f.origin.x + 30, f.origin.y, f.size.width, f.size.height), true);
        if (step == 'R' || step == 'x') c->setBroadcastEnabled(false);
        if (step == 'S' || step == 'R') c->setBroadcastEnabled(true);
        // The timer runs while broadcasting, and only then.
        const bool runs =
            NSRunLoopRunUntil(1, [&] { return controller.grabTimerRuns() == (step != 'x'); });
        EXPECT_TRUE(runs);
        // Another program's drawing reaches this one's connection a moment later.
        const uint32_t expected = std::isupper(step) ? under : kMark;
        const auto frame = [&] { return Pixel(camera.buffers[std::max(camera.current, 0)], 0, 0); };
        NSRunLoopRunUntil(std::isupper(step) ? 2 : 0.2, [&] {
            controller.grabTimer(nullptr);
            return std::isupper(step) && frame() == expected;
        });
        EXPECT_EQ(frame(), expected);
    }
}

} // namespace
