#pragma once

// The staged program on a private X server, launched again and again with one user's home, and
// driven as a user would through xdotool: its windows found by title, its grabber's context menu
// opened on the top bar, the grabber dragged.
#include "tests/support/Broadcast.h"
#include "tests/support/ImageDecoders.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XServer.h"
#include "tests/support/XWindows.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

namespace testsupport {

constexpr int kGrabberBar = 18; // the grabber's bars around its grab view

// Opaque A, R, G, B bytes, top row first, as in a camera frame, of width x height pixels
// 0x00RRGGBB given by pixel(x, y).
inline std::string Argb(int width, int height, const std::function<uint32_t(int, int)>& pixel) {
    std::string bytes;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t p = pixel(x, y);
            bytes += {char(0xff), char(p >> 16), char(p >> 8), char(p)};
        }
    return bytes;
}
// The same of a decoded picture, whatever its channels; "" when it could not be decoded.
inline std::string Argb(const DecodedImage& image) {
    return Argb(image.width, image.height, [&](int x, int y) {
        const uint8_t* s = &image.samples[size_t(y * image.width + x) * image.channels];
        return uint32_t(s[0]) << 16 | s[1] << 8 | s[2];
    });
}

// A private session bus with a desktop notification server of the test's own, which takes each
// notification's action at once.
class Notifications {
public:
    // The program's environment on that bus.
    std::string Environment() const { return "DBUS_SESSION_BUS_ADDRESS=" + mBus->FirstLine(); }
    // Whether the server got the notification "title\ttext\tactions".
    bool Got(const std::string& line) const {
        return Eventually(
            [&] { return mServer->OutSoFar().find(line + "\n") != std::string::npos; });
    }

private:
    const std::unique_ptr<Child> mBus = Start(
        {XServer::ProgramPath("dbus-daemon"), "--session", "--nofork", "--print-address"}, {});
    const std::unique_ptr<Child> mServer =
        Start({StagePath("bin/test_notification_server")}, {Environment()});
    const bool mReady = !mServer->FirstLine().empty();
};

struct VistrelOnX {
    // The program's environment on the server with one user's home, then the extra settings
    // "NAME=value" (an empty value counts as unset). It sees no session bus unless given one.
    std::vector<std::string> Environment(const std::vector<std::string>& extra = {}) const {
        std::vector<std::string> settings = {"DISPLAY=" + display,
                                             "QT_QPA_PLATFORM=xcb",
                                             "HOME=" + home.Path(),
                                             "XDG_CONFIG_HOME=" + home / ".config",
                                             "XDG_RUNTIME_DIR=" + home.Path(),
                                             "DBUS_SESSION_BUS_ADDRESS="};
        settings.insert(settings.end(), extra.begin(), extra.end());
        return settings;
    }
    // Starts the program (with the extra environment) and waits for its grabber.
    void Launch(const std::vector<std::string>& environment = {}) {
        program = Start({StagePath("bin/vistrel")}, Environment(environment));
        ASSERT_TRUE(Eventually([&] { return Grabber() != 0; })) << program->err;
        // The hot keys are registered before the grabber is shown; a moment for the loop.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    // Ends the program by signal, or waits for the end that the test asked for some other way;
    // an orderly end exits with 0.
    void Quit(bool signal = true, bool orderly = true) {
        if (signal) program->Kill(SIGTERM);
        ASSERT_TRUE(program->Wait(20));
        EXPECT_EQ(orderly ? program->exitCode : 0, 0) << program->err;
        errors += program->err;
        program.reset();
    }
    // Runs the program with the arguments to its end: a later launch.
    ProcessResult LaunchAgain(const std::vector<std::string>& arguments,
                              const std::vector<std::string>& environment = {}) const {
        std::vector<std::string> argv = {StagePath("bin/vistrel")};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return RunProcess(argv, Environment(environment));
    }
    // A client (vistrelsrc, through gst-launch) reading that many frames: their bytes, or "" when
    // it failed (one that gets no frame waits for ever: a failure here, not a hung test).
    std::string CameraFrames(const std::string& gstLaunch, int count) const {
        const std::string raw = scratch / "frames.raw";
        std::filesystem::remove(raw);
        const ProcessResult run =
            RunProcess({XServer::ProgramPath("timeout"), "15", gstLaunch, "-q", "vistrelsrc",
                        "num-buffers=" + std::to_string(count), "!", "filesink", "location=" + raw},
                       broadcast::ClientEnvironment());
        return run.exitCode == 0 && Exists(raw) ? ReadFile(raw) : "";
    }
    // Whether such a client comes to read this frame within a few tries.
    bool CameraShows(const std::string& gstLaunch, const std::string& frame) const {
        return Eventually([&] { return CameraFrames(gstLaunch, 1) == frame; }, 2);
    }
    // The frame of what lies under the grab view of a grabber with that frame, given the screen's
    // pixel at each point.
    static std::string UnderGrabView(RootBox f, const std::function<uint32_t(int, int)>& screen) {
        return Argb(f.width - 2 * kGrabberBar, f.height - 2 * kGrabberBar, [&](int x, int y) {
            return screen(f.x + kGrabberBar + x, f.y + kGrabberBar + y);
        });
    }
    std::string Settings() const { return ReadFile(home / ".config/com.tarnwick.Vistrel.conf"); }

    // The shown window of that title (0: none).
    uint32_t Window(const std::string& title) const {
        return XdotoolWindow(display, {"search", "--onlyvisible", "--name", "^" + title + "$"});
    }
    // The grabber's X window: the toolkit may make a new one when the grabber is shown again.
    uint32_t Grabber() const { return Window("Vistrel"); }
    RootBox At(uint32_t window) const { return RootGeometry(display, window).value_or(RootBox{}); }
    RootBox Frame() const { return At(Grabber()); }
    bool Input(const std::vector<std::string>& args) const { return Xdotool(display, args); }
    // Types the keys, a pause after each, after the xdotool steps that lead to them.
    void Type(std::vector<std::string> steps, const std::vector<std::string>& keys) const {
        steps.insert(steps.end(), {"key", "--delay", "150"});
        steps.insert(steps.end(), keys.begin(), keys.end());
        steps.insert(steps.end(), {"sleep", "0.5"});
        ASSERT_TRUE(Input(steps));
    }
    void Keys(const std::vector<std::string>& keys) const {
        Type({"windowactivate", "--sync", std::to_string(Grabber())}, keys);
    }
    // Opens the grabber's context menu on its top bar (right of where the custom panels open)
    // and types the keys into it.
    void Menu(const std::vector<std::string>& keys) const {
        const RootBox f = Frame();
        Type({"mousemove", std::to_string(f.x + f.width * 3 / 4),
              std::to_string(f.y + kGrabberBar / 2), "click", "3", "sleep", "0.5"},
             keys);
    }
    // Drags the grabber by its top bar and waits until the server has it moved.
    bool MovesBy(int dx, int dy) const {
        const RootBox from = Frame();
        const auto moved = [&] { return Frame().x == from.x + dx && Frame().y == from.y + dy; };
        return Input(DragSteps(from.x + from.width / 2, from.y + kGrabberBar / 2, dx, dy)) &&
               Eventually(moved, 3);
    }

    // The clipboard's data of a type, decoded, once it is an image that wide (else as last read).
    DecodedImage Clipboard(int width, const std::string& type = "image/png",
                           DecodedImage (*decode)(const std::string&) = DecodePNG) const {
        DecodedImage image;
        Eventually([&] {
            const ProcessResult read = RunProcess(
                {XServer::ProgramPath("xclip"), "-selection", "clipboard", "-t", type, "-o"},
                {"DISPLAY=" + display});
            WriteFile(scratch / "clipboard", read.out);
            return (image = decode(scratch / "clipboard")).width == width;
        });
        return image;
    }

    std::string display; // the X server's
    TempFolder home, scratch;
    std::unique_ptr<Child> program;
    std::string errors; // the standard error of the launches that ended
};

// A suite on one private X server with openbox, whose screen a pattern window covers; each test
// launches the program there, which is ended after it.
template <ScreenSize Size, uint32_t Seed>
class PatternDesktop : public ::testing::Test, public VistrelOnX {
protected:
    static constexpr ScreenSize kScreen = Size;
    static void SetUpTestSuite() {
        sServer = XServer::Xvfb(Size);
        if (sServer->Running() && sServer->StartWindowManager("openbox"))
            sPattern = std::make_unique<PatternWindow>(
                sServer->Display(), RootBox{0, 0, Size.width, Size.height}, Seed);
    }
    static void TearDownTestSuite() { sPattern.reset(), sServer.reset(); }
    void SetUp() override {
        for (const char* tool : {"Xvfb", "openbox", "xdotool", "xclip"})
            ASSERT_TRUE(XServer::Installed(tool)) << tool << " is missing: scripts/install-deps.sh";
        ASSERT_TRUE(sPattern && sPattern->Shown()) << sServer->Log();
        display = sServer->Display();
    }
    void TearDown() override {
        if (program) Quit();
    }
    static uint32_t Pattern(int x, int y) { return sPattern->At(x, y); }

    static inline std::unique_ptr<XServer> sServer;
    static inline std::unique_ptr<PatternWindow> sPattern;
};

} // namespace testsupport
