// The program broadcasting on a private Xvfb with openbox, seen by the real clients: GStreamer's
// vistrelsrc and ffmpeg's frei0r source. A pattern lies under the grabber, whose 640 x 480 grab
// view is taken over unscaled, so every frame must be exactly the pattern under it.
#include "tests/support/Broadcast.h"
#include "tests/support/ComponentBinding.h"
#include "tests/support/XServer.h"
#include "tests/support/XWindows.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <thread>

using namespace testsupport;

namespace {

constexpr ScreenSize kScreen{1600, 1200};
constexpr int kBar = 18; // the grabber's bars around its grab view
constexpr size_t kFrameBytes = 640 * 480 * 4;
// Places in the panel from its top-left: the broadcast and allow boxes, the slider's knob.
constexpr RootBox kBroadcastBox{24, 24, 0, 0}, kAllowBox{44, 52, 0, 0}, kKnob{262, 124, 0, 0};

// The clients load our plug-ins from the build tree (in sanitizer builds after the runtime).
std::vector<std::string> ClientEnvironment() {
    static const TempFolder registry;
    return {"GST_PLUGIN_PATH=" + StagePath("lib/gstreamer-1.0"),
            "GST_REGISTRY=" + registry / "registry.bin", "FREI0R_PATH=" + StagePath("lib/frei0r-1"),
#ifdef VISTREL_PRELOAD_ASAN
            "LD_PRELOAD=" VISTREL_PRELOAD_ASAN, "ASAN_OPTIONS=detect_leaks=0"
#endif
    };
}

class VistrelBroadcast : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "openbox", "xdotool"})
            ASSERT_TRUE(XServer::Installed(tool)) << tool << " is missing: scripts/install-deps.sh";
        ASSERT_TOOL(GST_LAUNCH, "gst-launch-1.0");
        ASSERT_TOOL(FFMPEG, "ffmpeg");
        binding::RemoveChannel();
        binding::LinkComponent("VistrelXXX"); // installed: the digitizer and the filter
        const std::string units =
            std::string(std::getenv("XDG_DATA_HOME")) + "/vistrel/image-units";
        std::filesystem::create_directories(units);
        std::filesystem::create_directory_symlink(
            StagePath("lib/vistrel/image-units/CILookpaneInput.plugin"),
            units + "/CILookpaneInput.plugin");
        server = XServer::Xvfb(kScreen);
        ASSERT_TRUE(server->Running() && server->StartWindowManager("openbox")) << server->Log();
        pattern = std::make_unique<PatternWindow>(server->Display(),
                                                  RootBox{0, 0, kScreen.width, kScreen.height}, 5);
    }

    // The window of that name once it shows; 0 when it does not within the time.
    uint32_t Find(const std::string& name, int tries = 100) {
        for (int i = 0; i < tries;
             ++i, std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
            const ProcessResult found = RunProcess({XServer::ProgramPath("xdotool"), "search",
                                                    "--onlyvisible", "--name", "^" + name + "$"},
                                                   {"DISPLAY=" + server->Display()});
            if (found.exitCode == 0 && !found.out.empty()) return uint32_t(std::stoul(found.out));
        }
        return 0;
    }
    void Launch(const char* systemVersion = nullptr) {
        const std::string display = server->Display(), home = config.Path();
        program = std::make_unique<Child>([=] {
            if (systemVersion) ::setenv("VISTREL_SYSTEM_VERSION", systemVersion, 1);
            ::setenv("DISPLAY", display.c_str(), 1);
            ::setenv("QT_QPA_PLATFORM", "xcb", 1);
            ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
            return Exec({StagePath("bin/vistrel")});
        });
        ASSERT_NE(grabber = Find("Vistrel"), 0u) << program->err;
    }
    void Quit() {
        program->Kill(SIGTERM);
        ASSERT_TRUE(program->Wait(20));
        EXPECT_EQ(program->exitCode, 0) << program->err;
    }
    RootBox At(uint32_t window) const {
        return RootGeometry(server->Display(), window).value_or(RootBox{});
    }
    bool Input(const std::vector<std::string>& arguments) {
        return Xdotool(server->Display(), arguments);
    }
    bool Click(uint32_t window, RootBox place) {
        const RootBox w = At(window);
        return Input({"mousemove", std::to_string(w.x + place.x), std::to_string(w.y + place.y),
                      "click", "1"});
    }
    // Waits until the X server has the grabber moved by (dx, dy) from where it was.
    bool Moved(RootBox from, int dx, int dy) {
        for (int i = 0; i < 60 && (At(grabber).x != from.x + dx || At(grabber).y != from.y + dy);
             ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return At(grabber).x == from.x + dx && At(grabber).y == from.y + dy;
    }
    // Drags the grabber by its top bar.
    bool Drag(int dx, int dy) {
        const RootBox g = At(grabber);
        const int x = g.x + g.width / 2, y = g.y + kBar / 2;
        return Input({"mousemove", std::to_string(x), std::to_string(y), "mousedown", "1",
                      "mousemove", std::to_string(x + dx / 2), std::to_string(y + dy / 2),
                      "mousemove", std::to_string(x + dx), std::to_string(y + dy), "mouseup",
                      "1"}) &&
               Moved(g, dx, dy);
    }
    // The pattern under the grab view as a camera frame: A, R, G, B bytes, top row first.
    std::string Expected() const {
        const RootBox g = At(grabber);
        std::string frame;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) {
                const uint32_t p = pattern->At(g.x + kBar + x, g.y + kBar + y);
                frame += {char(0xff), char(p >> 16), char(p >> 8), char(p)};
            }
        return frame;
    }
    // Frames a client wrote to a file: vistrelsrc's, or with ffmpeg one of the frei0r source's.
    ProcessResult Client(int frames, std::string& bytes, bool ffmpeg = false) {
        const std::string raw = folder / "frames.raw";
        std::filesystem::remove(raw);
        // A client that gets no frame waits for ever: a failure here, not a hung test.
        std::vector<std::string> argv = {XServer::ProgramPath("timeout"), "15"};
        if (ffmpeg)
            argv.insert(argv.end(), {FFMPEG, "-loglevel", "error", "-f", "lavfi", "-i",
                                     "frei0r_src=size=640x480:framerate=30:filter_name="
                                     "cilookpaneinput:filter_params=",
                                     "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "argb", raw});
        else
            argv.insert(argv.end(),
                        {GST_LAUNCH, "-q", "vistrelsrc", "num-buffers=" + std::to_string(frames),
                         "!", "filesink", "location=" + raw});
        const ProcessResult run = RunProcess(argv, ClientEnvironment());
        bytes = Exists(raw) ? ReadFile(raw) : "";
        return run;
    }
    // Whether the client comes to show the pattern under the grab view within a few tries.
    bool CameraShows(bool ffmpeg = false) {
        const std::string expected = Expected();
        std::string bytes;
        for (int i = 0; i < 20; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(150)))
            if (Client(1, bytes, ffmpeg).exitCode == 0 && bytes == expected) return true;
        return false;
    }

    std::unique_ptr<XServer> server;
    std::unique_ptr<PatternWindow> pattern;
    TempFolder config, folder;
    std::unique_ptr<Child> program;
    uint32_t grabber = 0;
};

TEST_F(VistrelBroadcast, TheCameraShowsTheGrabViewFromThePanelToTheNextLaunch) {
    // First launch: no broadcast until the box in the panel (opened from the menu) is ticked.
    Launch();
    EXPECT_EQ(Find("Broadcast", 5), 0u) << "the panel shows at launch only when broadcasting";
    const RootBox g = At(grabber);
    ASSERT_TRUE(
        Input({"mousemove", std::to_string(g.x + g.width / 2), std::to_string(g.y + 9), "click",
               "3", "sleep", "1", "key", "--delay", "250", "Up", "Up", "Up", "Return"}));
    ASSERT_TRUE(Click(Find("Broadcast"), kBroadcastBox));
    EXPECT_TRUE(CameraShows()) << "vistrelsrc";
    EXPECT_TRUE(CameraShows(true)) << "the frei0r source";
    Quit();
    EXPECT_FALSE(Exists(binding::UserLink())) << "quitting removes the camera's link";

    // On again at the next launch, with the panel; the camera follows the grabber's moves.
    Launch();
    const uint32_t panel = Find("Broadcast");
    EXPECT_NE(panel, 0u);
    ASSERT_TRUE(Drag(48, 32));
    EXPECT_TRUE(CameraShows()) << "after the drag";

    // A pipeline stuck on a frame keeps its buffer locked: the grabber still follows keys and
    // the mouse, and another client sees where it went.
    Child stuck([] {
        for (const std::string& setting : ClientEnvironment())
            ::putenv(::strdup(setting.c_str()));
        return Exec(
            {GST_LAUNCH, "vistrelsrc", "!", "identity", "sleep-time=20000000", "!", "fakesink"});
    });
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const RootBox held = At(grabber);
    ASSERT_TRUE(
        Input({"key", "--delay", "300", "Right", "Right", "Right"})); // waiting keys are dropped
    EXPECT_TRUE(Moved(held, 3, 0)) << "keys: moved by " << At(grabber).x - held.x;
    EXPECT_TRUE(Drag(-30, 20)) << "mouse";
    EXPECT_TRUE(CameraShows()) << "no new frames while a reader holds one";
    EXPECT_FALSE(stuck.Wait(0.1)) << "the stuck pipeline ended: " << stuck.err;
    stuck.Kill(SIGKILL);

    // Connections switched off in the panel: vistrelsrc refuses, with its words.
    ASSERT_TRUE(Click(panel, kAllowBox));
    std::string bytes;
    ProcessResult refused;
    for (int i = 0; i < 20 && (refused = Client(1, bytes)).exitCode == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_NE(refused.err.find("Camera connections are switched off in Vistrel"), std::string::npos)
        << refused.err;
    ASSERT_TRUE(Click(panel, kAllowBox));

    // Distinct frames of 60 at the client's 30 a second while the screen changes all the time:
    // about all of them, then half with the slider a stop down and a menu open.
    pattern.reset();
    const RootBox view = At(grabber);
    std::atomic<bool> animating{true};
    std::thread animation([&] {
        for (uint32_t n = 0; animating;
             ++n, std::this_thread::sleep_for(std::chrono::milliseconds(4)))
            PutRootPixels(server->Display(), view.x + kBar, view.y + kBar, 64, 64,
                          std::vector<uint32_t>(64 * 64, n * 0x010307u));
    });
    int distinct[2] = {};
    for (int& count : distinct) {
        if (&count != distinct) { // and with the grabber's menu open: the timer goes on
            EXPECT_TRUE(Click(panel, kKnob) && Input({"key", "Left"}));
            EXPECT_TRUE(Input({"mousemove", std::to_string(view.x + view.width / 2),
                               std::to_string(view.y + kBar / 2), "click", "3"}));
        }
        EXPECT_EQ(Client(60, bytes).exitCode, 0);
        for (size_t i = 1; (i + 1) * kFrameBytes <= bytes.size(); ++i)
            count += bytes.compare(i * kFrameBytes, kFrameBytes, bytes, (i - 1) * kFrameBytes,
                                   kFrameBytes) != 0;
    }
    animating = false;
    animation.join();
    Input({"key", "Escape"});
    EXPECT_GT(distinct[0], 40) << "30 fps";
    EXPECT_TRUE(distinct[1] >= 22 && distinct[1] <= 36) << distinct[1] << " at 15 fps";
    Quit();
}

// Before system 0x1060 the screen is read back through OpenGL: a 640 x 480 grab view goes
// straight into the frame buffer. The broadcast is on from the settings file.
TEST_F(VistrelBroadcast, OlderSystemsReadTheScreenBackIntoTheFrame) {
    WriteFile(config / "com.tarnwick.Vistrel.conf", "[Integers]\n_rebroadcastButton=1\n");
    Launch("0x1050");
    EXPECT_TRUE(CameraShows());
    ASSERT_TRUE(Drag(-64, 40));
    EXPECT_TRUE(CameraShows()) << "after the drag";
    Quit();
}

} // namespace
