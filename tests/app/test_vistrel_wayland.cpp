// The program under XWayland on a headless wlroots desktop (sway, software rendering) over a
// native Wayland window, which XWayland's own screen never holds: its copies and camera frames must
// equal what grim, another screen-copy client, reads of the grab view.
#include "bench/ProcessCpu.h"
#include "tests/app/VistrelOnX.h"
#include "tests/support/Broadcast.h"
#include "tests/support/ComponentBinding.h"

#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

class VistrelOnWayland : public ::testing::Test, public VistrelOnX {
protected:
    // sway refuses to run as root: it runs as nobody in a user namespace where the test's user
    // is nobody, so that what it starts (a key binding's command) still reaches the test's files.
    const std::vector<std::string> kAsNobody = {XServer::ProgramPath("unshare"), "--user",
                                                "--map-user=65534", "--map-group=65534"};

    void SetUp() override {
        for (const char* tool : {"sway", "swaymsg", "Xwayland", "grim", "weston-image", "wtype",
                                 "xdotool", "xclip", "dbus-run-session", "ffmpeg"})
            ASSERT_TRUE(XServer::Installed(tool)) << tool << " is missing: scripts/install-deps.sh";
        std::vector<std::string> probe = kAsNobody;
        probe.push_back(XServer::ProgramPath("true"));
        if (const ProcessResult as = RunProcess(probe); as.exitCode != 0)
            GTEST_SKIP() << "no user namespace can be made here: " << as.err;
        fs::create_directories(run);
        // X11 windows float where they ask to be.
        WriteFile(desktop / "config", "xwayland enable\ndefault_border none\n"
                                      "for_window [shell=xwayland] floating enable\n"
                                      "exec sh -c 'echo $DISPLAY $SWAYSOCK >" +
                                          run + "/display'\n");
        sway = std::make_unique<Child>([this] {
            std::vector<std::string> argv = kAsNobody;
            argv.insert(argv.end(),
                        {XServer::ProgramPath("env"), "-i", "PATH=/usr/bin:/bin", "HOME=" + run,
                         "XDG_RUNTIME_DIR=" + run, "WLR_BACKENDS=headless", "WLR_RENDERER=pixman",
                         "WLR_LIBINPUT_NO_DEVICES=1", XServer::ProgramPath("dbus-run-session"),
                         XServer::ProgramPath("sway"), "-c", desktop / "config"});
            return Exec(argv);
        });
        ASSERT_TRUE(Eventually([&] { return ReadFile(run + "/display").size() > 1; }))
            << sway->ErrSoFar();
        std::istringstream(ReadFile(run + "/display")) >> display >> swaySocket;
        // A known picture, shown natively at the layout's origin.
        ASSERT_EQ(RunProcess({XServer::ProgramPath("ffmpeg"), "-loglevel", "error", "-f", "lavfi",
                              "-i", "testsrc=size=640x480", "-frames:v", "1", desktop / "p.png"})
                      .exitCode,
                  0);
        picture = Start({XServer::ProgramPath("weston-image"), desktop / "p.png"}, Wayland());
        binding::LinkComponent("VistrelXXX"); // the camera, installed
        ASSERT_TRUE(Eventually([&] {
            return Sway({"[app_id=.] floating enable, resize set 1280 720, move position 0 0"});
        }));
    }
    void TearDown() override {
        if (program) Quit();
        // Asked to quit, sway ends its XWayland and session bus too; killed, it would leave them.
        if (sway && !swaySocket.empty()) {
            Sway({"exit"});
            sway->Wait(10);
        }
    }
    // The compositor's socket: the program keeps its own runtime folder.
    std::vector<std::string> Wayland() const { return {"WAYLAND_DISPLAY=" + run + "/wayland-1"}; }
    bool Sway(const std::vector<std::string>& command) const {
        std::vector<std::string> argv = {XServer::ProgramPath("swaymsg"), "-s", swaySocket};
        argv.insert(argv.end(), command.begin(), command.end());
        return RunProcess(argv).exitCode == 0;
    }
    // What grim reads of the grab view now.
    DecodedImage Shown() const {
        const RootBox f = Frame();
        const std::string path = scratch / "grim.png",
                          area = std::to_string(f.x + kGrabberBar) + "," +
                                 std::to_string(f.y + kGrabberBar) + " 640x480";
        RunProcess({XServer::ProgramPath("grim"), "-g", area, path}, Wayland());
        return DecodePNG(path);
    }

    TempFolder desktop;
    const std::string run = desktop / "run";
    std::string swaySocket;
    std::unique_ptr<Child> sway, picture;
};

TEST_F(VistrelOnWayland, GrabsAndCameraFramesShowTheNativeWindowUnderTheGrabber) {
    ASSERT_NO_FATAL_FAILURE(Launch(Wayland()));
    const DecodedImage shown = Shown();
    ASSERT_TRUE(shown.ok && shown.width == 640);
    const std::string expected = Argb(shown);
    // The picture shows through the grab view: were the grabber not transparent there, the
    // compositor would show it flat black.
    ASSERT_TRUE(expected != Argb(640, 480, [](int, int) { return 0u; }));

    EXPECT_EQ(LaunchAgain({"--grab-copy"}, Wayland()).exitCode, 0);
    EXPECT_TRUE(Eventually([&] { return Argb(Clipboard(640)) == expected; }))
        << "the copy is not the picture under the grab view";

    // The camera shows the picture under the grab view once the grabber has moved.
    EXPECT_EQ(LaunchAgain({"--broadcast", "on"}, Wayland()).exitCode, 0);
    ASSERT_TRUE(Sway({"[title=^Vistrel$] move position 302 102"}));
    ASSERT_TRUE(Eventually([&] { return Frame().x == 302 && Frame().y == 102; }));
    EXPECT_TRUE(CameraShows(GST_LAUNCH, Argb(Shown()))) << "the camera frame after the move";
    // And a change of the native window under the grab view.
    ASSERT_TRUE(Sway({"[app_id=wayland-image] move position 40 30"}));
    EXPECT_TRUE(CameraShows(GST_LAUNCH, Argb(Shown())))
        << "the camera frame after the picture moved";

    // A still screen costs the broadcast next to nothing of what one changing under the grab view
    // costs (the native window moved to and fro, each move copied and published).
    const auto cpuOver = [&](const std::function<void(int)>& change) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const double before = ProcessCpu(program->Pid());
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        for (int i = 0; std::chrono::steady_clock::now() < end; ++i)
            change(i);
        return ProcessCpu(program->Pid()) - before;
    };
    const double still =
        cpuOver([](int) { std::this_thread::sleep_for(std::chrono::milliseconds(10)); });
    const double changing = cpuOver([&](int i) {
        Sway({"[app_id=wayland-image] move position " + std::to_string(40 + i % 2 * 8) + " 30"});
    });
    EXPECT_GT(changing, 3 * still)
        << "CPU seconds of a still screen " << still << ", of a changing one " << changing;

    // A key binding of the compositor, pressed through its input (a virtual keyboard), runs the
    // quick save's remote action, which the running copy does.
    std::string action;
    for (const std::string& setting : Environment())
        if (!setting.ends_with("=")) action += setting + " ";
    ASSERT_TRUE(Sway(
        {"bindsym Mod4+Mod1+g exec env " + action + StagePath("bin/vistrel") + " --grab-save"}));
    const std::string wtype = XServer::ProgramPath("wtype");
    ASSERT_EQ(
        RunProcess({wtype, "-M", "logo", "-M", "alt", "g", "-m", "alt", "-m", "logo"}, Wayland())
            .exitCode,
        0);
    EXPECT_TRUE(Eventually([&] { return Exists(home / "Pictures/Vistrel/Vistrel 0000.jpg"); }));
}

} // namespace
