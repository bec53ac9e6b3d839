// The program broadcasting on a private Xvfb with openbox, seen by the real clients: GStreamer's
// vistrelsrc and ffmpeg's frei0r source. A pattern lies under the grabber, whose 640 x 480 grab
// view is taken over unscaled, so every frame must be exactly the pattern under it. One run turns
// the broadcast on in the panel and quits; the next starts broadcasting by itself and is dragged,
// held by a stuck pipeline, refused, and slowed down.
#include "tests/support/Broadcast.h"
#include "tests/support/ComponentBinding.h"
#include "tests/support/XServer.h"
#include "tests/support/XWindows.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <thread>

using namespace testsupport;

namespace {

constexpr ScreenSize kScreen{1600, 1200};
constexpr int kBar = 18; // the grabber's bars around its grab view
constexpr size_t kFrameBytes = 640 * 480 * 4;
using Frame = std::string;

// The plug-in and tools from the build tree; in sanitizer builds the runtime the uninstrumented
// tools must load before our instrumented plug-ins.
std::vector<std::string> ClientEnvironment() {
    static const TempFolder registry;
    std::vector<std::string> env = {"GST_PLUGIN_PATH=" + StagePath("lib/gstreamer-1.0"),
                                    "GST_REGISTRY=" + registry / "registry.bin",
                                    "FREI0R_PATH=" + StagePath("lib/frei0r-1")};
#ifdef VISTREL_PRELOAD_ASAN
    env.push_back("LD_PRELOAD=" VISTREL_PRELOAD_ASAN);
    env.push_back("ASAN_OPTIONS=detect_leaks=0");
#endif
    return env;
}

std::vector<std::string> GstCommand(const std::vector<std::string>& pipeline) {
    std::vector<std::string> argv = {GST_LAUNCH, "-q"};
    argv.insert(argv.end(), pipeline.begin(), pipeline.end());
    return argv;
}

class VistrelBroadcast : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "openbox", "xdotool"})
            ASSERT_TRUE(XServer::Installed(tool)) << tool << " is missing: scripts/install-deps.sh";
        ASSERT_TOOL(GST_LAUNCH, "gst-launch-1.0");
        ASSERT_TOOL(FFMPEG, "ffmpeg");
        binding::RemoveChannel();
        // What installing does: the digitizer for GStreamer, the filter for the frei0r source.
        binding::LinkComponent("VistrelXXX");
        const std::string units =
            std::string(std::getenv("XDG_DATA_HOME")) + "/vistrel/image-units";
        std::filesystem::create_directories(units);
        std::filesystem::create_directory_symlink(
            StagePath("lib/vistrel/image-units/CILookpaneInput.plugin"),
            units + "/CILookpaneInput.plugin");
        server = XServer::Xvfb(kScreen);
        ASSERT_TRUE(server->Running()) << server->Log();
        ASSERT_TRUE(server->StartWindowManager("openbox"));
        pattern = std::make_unique<PatternWindow>(server->Display(),
                                                  RootBox{0, 0, kScreen.width, kScreen.height}, 5);
        ASSERT_TRUE(pattern->Shown());
    }

    // The window of that name once it shows; 0 when it does not within the time.
    uint32_t FindWindow(const std::string& name, double seconds = 20) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        do {
            const ProcessResult found = RunProcess({XServer::ProgramPath("xdotool"), "search",
                                                    "--onlyvisible", "--name", "^" + name + "$"},
                                                   {"DISPLAY=" + server->Display()});
            if (found.exitCode == 0 && !found.out.empty()) return uint32_t(std::stoul(found.out));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        } while (std::chrono::steady_clock::now() < deadline);
        return 0;
    }
    void Launch() {
        const std::string display = server->Display(), home = config.Path();
        program = std::make_unique<Child>([display, home] {
            ::setenv("DISPLAY", display.c_str(), 1);
            ::setenv("QT_QPA_PLATFORM", "xcb", 1);
            ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
            return Exec({StagePath("bin/vistrel")});
        });
        grabber = FindWindow("Vistrel");
        ASSERT_NE(grabber, 0u) << program->err;
    }
    void Quit() {
        program->Kill(SIGTERM);
        ASSERT_TRUE(program->Wait(20));
        EXPECT_EQ(program->exitCode, 0) << program->err;
    }
    RootBox Geometry(uint32_t window) const {
        return RootGeometry(server->Display(), window).value_or(RootBox{});
    }
    RootBox GrabView() const {
        const RootBox g = Geometry(grabber);
        return {g.x + kBar, g.y + kBar, g.width - 2 * kBar, g.height - 2 * kBar};
    }
    bool Input(const std::vector<std::string>& arguments) {
        return Xdotool(server->Display(), arguments);
    }
    bool Click(int x, int y) {
        return Input({"mousemove", std::to_string(x), std::to_string(y), "click", "1"});
    }
    // Waits until the grabber is where it should be now, as the X server has it.
    bool GrabberMovesBy(RootBox before, int dx, int dy) {
        for (int i = 0; i < 60; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(50))) {
            const RootBox now = Geometry(grabber);
            if (now.x == before.x + dx && now.y == before.y + dy) return true;
        }
        return false;
    }
    // Drags the grabber by its top bar; true once it got there.
    bool Drag(int dx, int dy) {
        const RootBox g = Geometry(grabber);
        const int x = g.x + g.width / 2, y = g.y + kBar / 2;
        return Input({"mousemove", std::to_string(x), std::to_string(y), "mousedown", "1",
                      "mousemove", std::to_string(x + dx / 2), std::to_string(y + dy / 2),
                      "mousemove", std::to_string(x + dx), std::to_string(y + dy), "mouseup",
                      "1"}) &&
               GrabberMovesBy(g, dx, dy);
    }

    // The pattern under the view as a camera frame: A, R, G, B bytes, top row first.
    Frame Expected(RootBox view) const {
        Frame frame(kFrameBytes, '\0');
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) {
                const uint32_t p = pattern->At(view.x + x, view.y + y);
                char* out = &frame[(size_t(y) * 640 + size_t(x)) * 4];
                out[0] = char(0xff), out[1] = char(p >> 16), out[2] = char(p >> 8),
                out[3] = char(p);
            }
        return frame;
    }
    // Frames of vistrelsrc, as they arrive.
    ProcessResult Gst(int frames, std::string& bytes) {
        const std::string raw = folder / "gst.raw";
        std::filesystem::remove(raw);
        const ProcessResult run =
            RunProcess(GstCommand({"vistrelsrc", "num-buffers=" + std::to_string(frames), "!",
                                   "filesink", "location=" + raw}),
                       ClientEnvironment());
        bytes = Exists(raw) ? ReadFile(raw) : std::string();
        return run;
    }
    // One frame of the frei0r source in ffmpeg, turned back into A, R, G, B.
    Frame Ffmpeg() {
        const std::string raw = folder / "ffmpeg.raw";
        const ProcessResult run = RunProcess(
            {FFMPEG, "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
             "frei0r_src=size=640x480:framerate=30:filter_name=cilookpaneinput:filter_params=",
             "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "argb", raw},
            ClientEnvironment());
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return Exists(raw) ? ReadFile(raw) : Frame();
    }
    // Whether vistrelsrc comes to show the pattern under the view within a few tries.
    bool CameraShows(RootBox view) {
        const Frame expected = Expected(view);
        for (int attempt = 0; attempt < 20; ++attempt) {
            std::string bytes;
            const ProcessResult run = Gst(1, bytes);
            if (run.exitCode == 0 && bytes == expected) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        }
        return false;
    }
    std::string Settings() const { return ReadFile(config / "com.tarnwick.Vistrel.conf"); }

    std::unique_ptr<XServer> server;
    std::unique_ptr<PatternWindow> pattern;
    TempFolder config, folder;
    std::unique_ptr<Child> program;
    uint32_t grabber = 0;
};

// Content places within the panel, from its top-left: the two boxes and the slider's knob.
struct PanelPlace {
    int x, y;
};
constexpr PanelPlace kBroadcastBox{24, 24}, kAllowBox{44, 52}, kSliderKnob{262, 124};

TEST_F(VistrelBroadcast, TheCameraShowsTheGrabViewFromThePanelToTheNextLaunch) {
    // First launch: no broadcast until the box in the panel (opened from the menu) is turned on.
    Launch();
    EXPECT_EQ(FindWindow("Broadcast", 1), 0u) << "the panel shows at launch only when broadcasting";
    const RootBox g = Geometry(grabber);
    ASSERT_TRUE(
        Input({"mousemove", std::to_string(g.x + g.width / 2), std::to_string(g.y + 9), "click",
               "3", "sleep", "1", "key", "--delay", "250", "Up", "Up", "Up", "Return"}));
    const uint32_t panel = FindWindow("Broadcast");
    ASSERT_NE(panel, 0u) << "Broadcast... opens the panel";
    RootBox p = Geometry(panel);
    ASSERT_TRUE(Click(p.x + kBroadcastBox.x, p.y + kBroadcastBox.y));
    EXPECT_TRUE(CameraShows(GrabView())) << "vistrelsrc";
    EXPECT_TRUE(Ffmpeg() == Expected(GrabView())) << "the frei0r source";
    Quit();
    EXPECT_NE(Settings().find("_rebroadcastButton=1"), std::string::npos) << Settings();
    EXPECT_FALSE(Exists(binding::UserLink())) << "quitting removes the camera's link";

    // The next launch broadcasts again and shows the panel.
    Launch();
    EXPECT_NE(FindWindow("Broadcast"), 0u);
    EXPECT_TRUE(CameraShows(GrabView()));

    // The camera follows the grabber when the mouse moves it.
    ASSERT_TRUE(Drag(48, 32));
    ASSERT_TRUE(CameraShows(GrabView())) << "after the drag";

    // A pipeline stuck on a frame keeps its buffer locked: the grabber still follows keys and
    // the mouse, and another client sees where it went.
    Child stuck([] {
        for (const std::string& setting : ClientEnvironment())
            ::putenv(::strdup(setting.c_str()));
        return Exec(
            GstCommand({"vistrelsrc", "!", "identity", "sleep-time=20000000", "!", "fakesink"}));
    });
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const RootBox held = Geometry(grabber);
    ASSERT_TRUE(Input({"key", "--delay", "50", "Right", "Right", "Right"}));
    EXPECT_TRUE(GrabberMovesBy(held, 3, 0))
        << "the grabber does not follow its keys while a reader holds a frame";
    EXPECT_TRUE(Drag(-30, 20))
        << "the grabber does not follow the mouse while a reader holds a frame";
    EXPECT_TRUE(CameraShows(GrabView())) << "no new frames while a reader holds a frame";
    EXPECT_FALSE(stuck.Wait(0.1)) << "the stuck pipeline ended: " << stuck.err;
    stuck.Kill(SIGKILL);
    stuck.Wait();

    // Connections switched off in the panel: vistrelsrc refuses with its words.
    p = Geometry(FindWindow("Broadcast"));
    ASSERT_TRUE(Click(p.x + kAllowBox.x, p.y + kAllowBox.y));
    std::string bytes;
    ProcessResult refused;
    for (int i = 0; i < 20; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(100)))
        if ((refused = Gst(1, bytes)).exitCode != 0) break;
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_NE(refused.err.find("Camera connections are switched off in Vistrel"), std::string::npos)
        << refused.err;
    ASSERT_TRUE(Click(p.x + kAllowBox.x, p.y + kAllowBox.y));
    EXPECT_TRUE(CameraShows(GrabView()));

    // Frames per second at the client while the screen changes all the time: 30, then 15
    // with the slider one stop down.
    pattern.reset();
    const RootBox view = GrabView();
    std::atomic<bool> animating{true};
    std::thread animation([&] {
        for (uint32_t n = 0; animating; ++n) {
            PutRootPixels(server->Display(), view.x, view.y, 64, 64,
                          std::vector<uint32_t>(64 * 64, n * 0x010307u));
            std::this_thread::sleep_for(std::chrono::milliseconds(4));
        }
    });
    const auto distinctFrames = [&] {
        constexpr int kFrames = 60; // two seconds at the client's pace
        std::string all;
        const ProcessResult run = Gst(kFrames, all);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        int distinct = 0;
        for (size_t i = 1; (i + 1) * kFrameBytes <= all.size(); ++i)
            distinct += all.compare(i * kFrameBytes, kFrameBytes, all, (i - 1) * kFrameBytes,
                                    kFrameBytes) != 0;
        return distinct;
    };
    const int at30 = distinctFrames();
    ASSERT_TRUE(Click(p.x + kSliderKnob.x, p.y + kSliderKnob.y));
    ASSERT_TRUE(Input({"key", "Left"}));
    const int at15 = distinctFrames();
    animating = false;
    animation.join();
    std::printf("distinct frames of 60: %d at 30 fps, %d at 15 fps\n", at30, at15);
    EXPECT_GT(at30, 40);
    EXPECT_GE(at15, 22);
    EXPECT_LE(at15, 36);
    Quit();
}

} // namespace
