// The program under XWayland on a headless wlroots desktop (sway, software rendering) over a
// native Wayland window, which XWayland's own screen never holds: its copies, saves and camera
// frames must equal what grim, another screen-copy client, reads of the grab view.
#include "bench/ProcessCpu.h"
#include "tests/app/VistrelOnX.h"
#include "tests/support/Broadcast.h"
#include "tests/support/ComponentBinding.h"
#include "tests/support/SwayDesktop.h"

#include <filesystem>
#include <thread>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

// Opaque RGB samples of a decoded image, so that pictures of 3 and 4 channels compare.
std::vector<uint8_t> Rgb(const DecodedImage& image) {
    std::vector<uint8_t> rgb;
    for (size_t i = 0; image.channels >= 3 && i < image.samples.size(); i += image.channels)
        rgb.insert(rgb.end(), image.samples.begin() + i, image.samples.begin() + i + 3);
    return rgb;
}

class VistrelOnWayland : public ::testing::Test, public VistrelOnX {
protected:
    void SetUp() override {
        for (const char* tool : {"sway", "swaymsg", "Xwayland", "grim", "weston-image", "wtype",
                                 "xdotool", "xclip", "dbus-run-session", "ffmpeg"})
            ASSERT_TRUE(XServer::Installed(tool)) << tool << " is missing: scripts/install-deps.sh";
        if (const std::string why = SwayDesktop::Unavailable(); !why.empty()) GTEST_SKIP() << why;
        ASSERT_TRUE(desktop.Start()) << desktop.Errors();
        display = desktop.Display();
        // A known picture, shown natively at the layout's origin.
        ASSERT_EQ(
            RunProcess({XServer::ProgramPath("ffmpeg"), "-loglevel", "error", "-f", "lavfi", "-i",
                        "testsrc=size=640x480", "-frames:v", "1", desktop.Folder() / "p.png"})
                .exitCode,
            0);
        picture = std::make_unique<Child>([this] {
            for (const std::string& setting : Wayland())
                ::putenv(::strdup(setting.c_str()));
            return Exec({XServer::ProgramPath("weston-image"), desktop.Folder() / "p.png"});
        });
        binding::LinkComponent("VistrelXXX"); // the camera, installed
        ASSERT_TRUE(Eventually([&] {
            return Sway({"[app_id=.] floating enable, resize set 1280 720, move position 0 0"});
        }));
    }
    void TearDown() override {
        if (program) Quit();
    }
    std::vector<std::string> Wayland() const { return desktop.Wayland(); }
    bool Sway(const std::vector<std::string>& command) const { return desktop.Sway(command); }
    // What grim reads of the grab view now.
    DecodedImage Shown() const {
        const RootBox f = Frame();
        const std::string path = scratch / "grim.png",
                          area = std::to_string(f.x + kGrabberBar) + "," +
                                 std::to_string(f.y + kGrabberBar) + " 640x480";
        RunProcess({XServer::ProgramPath("grim"), "-g", area, path}, Wayland());
        return DecodePNG(path);
    }

    // Whether a camera client (vistrelsrc) comes to read the picture as A, R, G, B bytes.
    bool CameraShows(const std::vector<uint8_t>& rgb) const {
        std::string expected;
        for (size_t i = 0; i + 2 < rgb.size(); i += 3)
            expected += {char(0xff), char(rgb[i]), char(rgb[i + 1]), char(rgb[i + 2])};
        const std::string raw = scratch / "frame.raw";
        return Eventually(
            [&] {
                RunProcess({XServer::ProgramPath("timeout"), "15", GST_LAUNCH, "-q", "vistrelsrc",
                            "num-buffers=1", "!", "filesink", "location=" + raw},
                           broadcast::ClientEnvironment());
                return Exists(raw) && ReadFile(raw) == expected;
            },
            20);
    }

    SwayDesktop desktop;
    std::unique_ptr<Child> picture;
};

TEST_F(VistrelOnWayland, GrabsAndCameraFramesShowTheNativeWindowUnderTheGrabber) {
    fs::create_directories(home / ".config");
    WriteFile(home / ".config/com.tarnwick.Vistrel.conf",
              "[Strings]\nDefaultFileTypeSelectorGroup=selectDefault_SaveTIFF:\n");
    ASSERT_NO_FATAL_FAILURE(Launch(Wayland()));
    const DecodedImage shown = Shown();
    ASSERT_TRUE(shown.ok && shown.width == 640);
    const std::vector<uint8_t> expected = Rgb(shown);
    // The picture shows through the grab view: were the grabber not transparent there, the
    // compositor would show it flat black.
    ASSERT_NE(std::count(expected.begin(), expected.end(), 0), ptrdiff_t(expected.size()));

    EXPECT_EQ(LaunchAgain({"--grab-copy"}, Wayland()).exitCode, 0);
    EXPECT_TRUE(Eventually([&] { return Rgb(Clipboard(640)) == expected; }))
        << "the copy is not the picture under the grab view";
    EXPECT_EQ(LaunchAgain({"--grab-save"}, Wayland()).exitCode, 0);
    const std::string saved = home / "Pictures/Vistrel/Vistrel 0000.tiff";
    EXPECT_TRUE(Eventually([&] { return Exists(saved) && Rgb(DecodeTIFF(saved)) == expected; }))
        << "the quick save is not the picture under the grab view";

    // The camera shows the picture under the grab view, and again once the grabber has moved.
    EXPECT_EQ(LaunchAgain({"--broadcast", "on"}, Wayland()).exitCode, 0);
    for (const auto& [x, y] : {std::pair{302, 102}, std::pair{500, 40}}) {
        ASSERT_TRUE(Sway(
            {"[title=^Vistrel$] move position " + std::to_string(x) + " " + std::to_string(y)}));
        ASSERT_TRUE(Eventually([&] { return Frame().x == x && Frame().y == y; }));
        EXPECT_TRUE(CameraShows(Rgb(Shown()))) << "the camera frame with the grabber at " << x;
    }
    // And a change of the native window under the grab view.
    ASSERT_TRUE(Sway({"[app_id=wayland-image] move position 40 30"}));
    EXPECT_TRUE(CameraShows(Rgb(Shown()))) << "the camera frame after the picture moved";

    // A still screen costs the broadcast next to nothing of what a native client animating under
    // the grab view costs (each of its frames copied and published).
    const auto cpuOver = [&] {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const double before = ProcessCpu(program->Pid());
        std::this_thread::sleep_for(std::chrono::seconds(3));
        return ProcessCpu(program->Pid()) - before;
    };
    const double still = cpuOver();
    const Child animation([this] {
        for (const std::string& setting : Wayland())
            ::putenv(::strdup(setting.c_str()));
        return Exec({StagePath("bin/test_wayland_animation"), "200", "200", "10"});
    });
    ASSERT_TRUE(Eventually([&] {
        return Sway({"[app_id=vistrel-animation] floating enable, move position 600 100"});
    })) << animation.ErrSoFar();
    const double changing = cpuOver();
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
    EXPECT_TRUE(Eventually([&] { return Exists(home / "Pictures/Vistrel/Vistrel 0001.tiff"); }));
    Quit();

    // A compositor without screen copy (here: none at all) leaves the X11 capture, said once.
    ASSERT_NO_FATAL_FAILURE(Launch({"WAYLAND_DISPLAY=" + desktop.Folder() / "none"}));
    Quit();
    const std::string warning = "\nvistrel: no Wayland compositor answers; capturing through "
                                "XWayland, where native Wayland windows do not show\n";
    const size_t said = errors.find(warning);
    EXPECT_TRUE(said != std::string::npos && errors.find(warning, said + 1) == std::string::npos)
        << errors;
}

} // namespace
