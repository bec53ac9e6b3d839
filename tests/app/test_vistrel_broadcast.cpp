// The program broadcasting on a private Xvfb with openbox, seen by a real client, GStreamer's
// vistrelsrc (the other clients read the same channel: the hosts' tests). A pattern lies under the
// grabber, whose 640 x 480 grab view is taken over unscaled, so every frame must be exactly the
// pattern under it.
#include "tests/app/VistrelOnX.h"
#include "tests/support/Broadcast.h"
#include "tests/support/ComponentBinding.h"

#include <atomic>
#include <filesystem>
#include <thread>

using namespace testsupport;

namespace {

constexpr size_t kFrameBytes = 640 * 480 * 4;
// The broadcast box's place in the panel from its top-left.
constexpr RootBox kBroadcastBox{24, 24, 0, 0};

// The children of the process that run the program, by their command lines' words.
std::vector<std::vector<std::string>> Children(pid_t parent, const std::string& program) {
    std::vector<std::vector<std::string>> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string stat = ReadFile(entry.path() / "stat");
        const size_t close = stat.rfind(')');
        if (close == std::string::npos || std::atoi(stat.c_str() + close + 4) != parent) continue;
        std::vector<std::string> words;
        const std::string line = ReadFile(entry.path() / "cmdline");
        for (size_t at = 0; at < line.size(); at = line.find('\0', at) + 1)
            words.emplace_back(line.c_str() + at);
        if (!words.empty() && words[0].ends_with("/" + program)) found.push_back(words);
    }
    return found;
}

class VistrelBroadcast : public PatternDesktop<ScreenSize{1600, 1200}, 5> {
protected:
    void SetUp() override {
        ASSERT_TOOL(GST_LAUNCH, "gst-launch-1.0");
        binding::RemoveChannel();
        binding::LinkComponent("VistrelXXX"); // installed: the digitizer
        PatternDesktop::SetUp();
    }
    bool Click(uint32_t window, RootBox place) {
        const RootBox w = At(window);
        return Input({"mousemove", std::to_string(w.x + place.x), std::to_string(w.y + place.y),
                      "click", "1"});
    }
    // The pattern under the grab view as a camera frame; black where no monitor shows the screen.
    std::string Expected(bool (*shown)(int x, int y) = nullptr) const {
        return UnderGrabView(
            Frame(), [&](int x, int y) { return !shown || shown(x, y) ? Pattern(x, y) : 0; });
    }
    bool CameraShows(bool (*shown)(int x, int y) = nullptr) const {
        return VistrelOnX::CameraShows(GST_LAUNCH, Expected(shown));
    }
};

TEST_F(VistrelBroadcast, TheCameraShowsTheGrabViewFromThePanelToLaterLaunches) {
    // First launch: no broadcast until the box in the panel (opened from the menu) is ticked.
    Launch();
    EXPECT_EQ(Window("Broadcast"), 0u) << "the panel shows at launch only when broadcasting";
    Menu({"Up", "Up", "Return"}); // past Quit (Show or Hide Grabber is off without a tray)
    uint32_t panel = 0;
    ASSERT_TRUE(Eventually([&] { return (panel = Window("Broadcast")) != 0; }));
    ASSERT_TRUE(Click(panel, kBroadcastBox));
    EXPECT_TRUE(CameraShows());
    // The channel cut short under the broadcast: the program lives on, says so once and
    // recreates it; its link and choices are still kept at quit (below).
    ASSERT_EQ(::truncate(binding::RegionPath().c_str(), 0), 0);
    EXPECT_TRUE(CameraShows()) << "after the channel was cut short";
    const std::string told = "shrank under this process's mapping", said = program->ErrSoFar();
    EXPECT_TRUE(said.find(told) != std::string::npos && said.find(told) == said.rfind(told))
        << said;
    // The PipeWire camera runs beside the broadcast, told whose it is, and ends with it (what its
    // node shows of the channel is the camera's own test).
    const pid_t pid = program->Pid();
    EXPECT_EQ(
        Children(pid, "vistrel-pipewire"),
        (std::vector<std::vector<std::string>>{{StagePath("bin/vistrel-pipewire"), "--parent-pid",
                                                std::to_string(pid), "--factor", "1"}}));
    ASSERT_TRUE(Click(panel, kBroadcastBox));
    EXPECT_TRUE(Eventually([&] { return Children(pid, "vistrel-pipewire").empty(); }))
        << "the camera outlives the broadcast";
    ASSERT_TRUE(Click(panel, kBroadcastBox));
    EXPECT_TRUE(Eventually([&] { return Children(pid, "vistrel-pipewire").size() == 1; }));
    Quit();
    EXPECT_FALSE(Exists(binding::UserLink())) << "quitting removes the camera's link";

    // On again at the next launch, with the panel; before system 0x1060 the screen is read back
    // through OpenGL: a 640 x 480 grab view goes straight into the frame buffer, wherever the
    // grabber is.
    Launch({"VISTREL_SYSTEM_VERSION=0x1050"});
    ASSERT_TRUE(Eventually([&] { return Window("Broadcast") != 0; }));
    ASSERT_TRUE(MovesBy(-64, 40));
    EXPECT_TRUE(CameraShows()) << "after the drag";
    Quit();

    // A grab view on two monitors, 420 of its columns on one and 220 on the other, a corner below
    // the second, goes whole into the camera and the copy: nothing cut or stretched, black where
    // no monitor shows the screen.
    ASSERT_TRUE(SetMonitor(display, "LEFT", 0, 0, 700, 1200, true, true));
    ASSERT_TRUE(SetMonitor(display, "RIGHT", 700, 0, 900, 900, false, false));
    const auto shown = [](int x, int y) { return x < 700 || y < 900; };
    Launch();
    ASSERT_TRUE(Eventually([&] { return Window("Broadcast") != 0; }));
    ASSERT_TRUE(MovesBy(280 - kGrabberBar - Frame().x, 560 - kGrabberBar - Frame().y));
    EXPECT_TRUE(CameraShows(shown));
    Keys({"ctrl+c"});
    EXPECT_TRUE(Argb(Clipboard(640)) == Expected(shown));
    // A whole-display grab keeps to the display that holds most of the grabber.
    ASSERT_TRUE(Input({"key", "ctrl+shift+alt+c"}));
    const DecodedImage screen = Clipboard(700);
    EXPECT_EQ(std::make_pair(screen.width, screen.height), std::make_pair(700, 1200));

    // Distinct frames of 60 at the client's 30 a second while the screen changes all the time
    // under a grab view on one monitor and the grabber's menu is open: the timer goes on.
    ASSERT_TRUE(MovesBy(20 - Frame().x, 0));
    sPattern.reset();
    const RootBox view = Frame();
    std::atomic<bool> animating{true};
    std::thread animation([&] {
        for (uint32_t n = 0; animating;
             ++n, std::this_thread::sleep_for(std::chrono::milliseconds(4)))
            PutRootPixels(display, view.x + kGrabberBar, view.y + kGrabberBar, 64, 64,
                          std::vector<uint32_t>(64 * 64, n * 0x010307u));
    });
    Menu({});
    const std::string bytes = CameraFrames(GST_LAUNCH, 60);
    int distinct = 0;
    for (size_t i = 1; (i + 1) * kFrameBytes <= bytes.size(); ++i)
        distinct += bytes.compare(i * kFrameBytes, kFrameBytes, bytes, (i - 1) * kFrameBytes,
                                  kFrameBytes) != 0;
    animating = false;
    animation.join();
    Input({"key", "Escape"});
    EXPECT_GT(distinct, 40) << "30 fps with the menu open";
}

} // namespace
