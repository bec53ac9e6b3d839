// The program itself on a private Xvfb with openbox, over a pattern window of known pixels: the
// four hot keys, the clipboard, quick-save files and their codes, the save size, the grabber's
// keys, and the save-defaults menu across a restart.
#include "platform/files/FinderInfo.h"
#include "tests/support/ImageDecoders.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XKeyboard.h"
#include "tests/support/XServer.h"
#include "tests/support/XWindows.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <thread>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

constexpr ScreenSize kScreen{1024, 768};
constexpr uint32_t kSeed = 7;
constexpr int kBar = 18;

const std::vector<uint32_t> kSuperAltControlG{XK_Super_L, XK_Alt_L, XK_Control_L, XK_g},
    kControlShiftAltG{XK_Control_L, XK_Shift_L, XK_Alt_L, XK_g},
    kSuperAltControlC{XK_Super_L, XK_Alt_L, XK_Control_L, XK_c},
    kControlShiftAltC{XK_Control_L, XK_Shift_L, XK_Alt_L, XK_c};

bool Eventually(const std::function<bool()>& done, int tenths = 100) {
    for (int i = 0; i < tenths; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(100)))
        if (done()) return true;
    return false;
}

std::vector<std::string> Files(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// One server, window manager and pattern for the suite; the program is started by each group.
class VistrelGrabs : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!XServer::Installed("Xvfb") || !XServer::Installed("openbox")) return;
        sServer = XServer::Xvfb(kScreen);
        if (!sServer->Running() || !sServer->StartWindowManager("openbox")) return;
        sPattern = std::make_unique<PatternWindow>(
            sServer->Display(), RootBox{0, 0, kScreen.width, kScreen.height}, kSeed);
    }
    static void TearDownTestSuite() { sPattern.reset(), sServer.reset(); }
    void SetUp() override {
        for (const char* tool : {"Xvfb", "openbox", "xdotool", "xclip"})
            ASSERT_TRUE(XServer::Installed(tool)) << tool << " is missing: scripts/install-deps.sh";
        ASSERT_TRUE(sServer && sServer->Running() && sPattern && sPattern->Shown());
        keyboard = std::make_unique<XKeyboard>(Display());
        ASSERT_TRUE(keyboard->Ok());
    }
    void TearDown() override {
        if (program) Quit();
    }
    static const std::string& Display() { return sServer->Display(); }
    std::string Pictures() const { return home / "Pictures/Vistrel"; }
    std::string Documents() const { return home / "Documents"; }

    // Starts the staged program and waits until its grabber is shown and its hot keys are in.
    void Launch() {
        const std::string display = Display(), folder = home.Path();
        // The D-Bus library keeps a buffer at exit that the leak checker counts in the sanitizer
        // build; it is the system library's, not the program's.
        const std::string suppressions = scratch / "leaks.supp";
        WriteFile(suppressions, "leak:libdbus-1.so\n");
        program = std::make_unique<Child>([display, folder, suppressions] {
            ::setenv("LSAN_OPTIONS", ("suppressions=" + suppressions).c_str(), 1);
            ::setenv("DISPLAY", display.c_str(), 1);
            ::setenv("QT_QPA_PLATFORM", "xcb", 1);
            ::setenv("HOME", folder.c_str(), 1);
            ::setenv("XDG_CONFIG_HOME", (folder + "/.config").c_str(), 1);
            return Exec({StagePath("bin/vistrel")});
        });
        ASSERT_TRUE(Eventually([&] { return Grabber() != 0; }));
        // The hot keys are registered before the grabber is shown; a moment for the loop.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    void Quit() {
        program->Kill(SIGTERM);
        ASSERT_TRUE(program->Wait(20));
        EXPECT_EQ(program->exitCode, 0) << program->err;
        errors += program->err;
        program.reset();
    }
    // The shown window of that title (0: none).
    static uint32_t Window(const std::string& title) {
        const ProcessResult found = RunProcess(
            {XServer::ProgramPath("xdotool"), "search", "--onlyvisible", "--name", title},
            {"DISPLAY=" + Display()});
        return found.exitCode == 0 && !found.out.empty() ? uint32_t(std::stoul(found.out)) : 0;
    }
    // The grabber's X window: the toolkit may make a new one when the grabber is shown again.
    static uint32_t Grabber() { return Window("^Vistrel$"); }
    RootBox Frame() const { return RootGeometry(Display(), Grabber()).value_or(RootBox{}); }
    // Opens the grabber's context menu on its top bar (right of where the custom panels open)
    // and types the keys into it.
    void Menu(const std::vector<std::string>& keys) {
        const RootBox frame = Frame();
        Type({"mousemove", std::to_string(frame.x + frame.width * 3 / 4),
              std::to_string(frame.y + kBar / 2), "click", "3", "sleep", "0.5"},
             keys, "0.5");
    }
    // Keys typed into the grabber window.
    void Keys(const std::vector<std::string>& keys) {
        Type({"windowactivate", "--sync", std::to_string(Grabber())}, keys, "0.3");
    }
    void Type(std::vector<std::string> args, const std::vector<std::string>& keys,
              const char* pause) {
        args.insert(args.end(), {"key", "--delay", "150"});
        args.insert(args.end(), keys.begin(), keys.end());
        args.insert(args.end(), {"sleep", pause});
        ASSERT_TRUE(Xdotool(Display(), args));
    }
    // Waits until the folder holds exactly the names.
    static bool Holds(const std::string& folder, std::vector<std::string> names) {
        std::sort(names.begin(), names.end());
        return Eventually([&] { return Files(folder) == names; }, 50);
    }
    // Where the image's pixels lie on the pattern (the whole image matching exactly), searched
    // within the box; nothing when they match nowhere.
    static std::optional<std::pair<int, int>> FindOnPattern(const DecodedImage& image,
                                                            RootBox within) {
        auto sample = [&](int x, int y) {
            const uint8_t* s = &image.samples[size_t(y * image.width + x) * image.channels];
            return uint32_t(s[0]) << 16 | uint32_t(s[1]) << 8 | s[2];
        };
        for (int oy = within.y; oy <= within.y + within.height - image.height; ++oy)
            for (int ox = within.x; ox <= within.x + within.width - image.width; ++ox) {
                if (sPattern->At(ox, oy) != sample(0, 0)) continue;
                bool all = true;
                for (int y = 0; y < image.height && all; ++y)
                    for (int x = 0; x < image.width && all; ++x)
                        all = sPattern->At(ox + x, oy + y) == sample(x, y);
                if (all) return std::make_pair(ox, oy);
            }
        return std::nullopt;
    }
    // The clipboard's data of a type, decoded.
    DecodedImage Clipboard(const std::string& type,
                           DecodedImage (*decode)(const std::string&)) const {
        const ProcessResult read =
            RunProcess({XServer::ProgramPath("xclip"), "-selection", "clipboard", "-t", type, "-o"},
                       {"DISPLAY=" + Display()});
        const std::string path = scratch / "clipboard";
        WriteFile(path, read.out);
        return decode(path);
    }

    static inline std::unique_ptr<XServer> sServer;
    static inline std::unique_ptr<PatternWindow> sPattern;
    TempFolder home, scratch;
    std::unique_ptr<XKeyboard> keyboard;
    std::unique_ptr<Child> program;
    std::string errors;
};

TEST_F(VistrelGrabs, HotKeysClipboardSaveSizeAndGrabberKeys) {
    ASSERT_NO_FATAL_FAILURE(Launch());
    const RootBox grabber = Frame();
    const uint32_t grabberWindow = Grabber();
    ASSERT_GT(grabber.width, 640);

    // Each hot key once with Num Lock on (the locks' combinations are the hot keys' own test):
    // quick saves get the next numbers (JPEG by default), copies put the grab on the clipboard.
    std::vector<std::string> expected;
    ASSERT_TRUE(keyboard->Chord({XK_Num_Lock}));
    for (const auto* chord : {&kSuperAltControlG, &kControlShiftAltG}) {
        ASSERT_TRUE(keyboard->Chord(*chord));
        expected.push_back("Vistrel 000" + std::to_string(expected.size()) + ".jpg");
        EXPECT_TRUE(Holds(Pictures(), expected));
    }

    ASSERT_TRUE(keyboard->Chord(kSuperAltControlC));
    DecodedImage png, tiff;
    EXPECT_TRUE(Eventually([&] {
        png = Clipboard("image/png", DecodePNG);
        return png.ok && png.width == 640;
    }));
    tiff = Clipboard("image/tiff", DecodeTIFF);
    ASSERT_TRUE(png.ok && tiff.ok);
    EXPECT_EQ(png.samples, tiff.samples);
    EXPECT_EQ(png.height, 480);
    // The grabber's rectangle: the pattern exactly, inside the grabber's frame.
    EXPECT_TRUE(FindOnPattern(png, grabber)) << "the copied grab is not the pattern";

    // Save As (Ctrl+S) proposes the next numbered name in the quick-save folder; Return takes it.
    Keys({"ctrl+s"});
    uint32_t panel = 0;
    ASSERT_TRUE(Eventually([&] { return (panel = Window("^Save$")) != 0; }));
    ASSERT_TRUE(
        Xdotool(Display(), {"windowactivate", "--sync", std::to_string(panel), "key", "Return"}));
    expected.push_back("Vistrel 0002.jpg");
    ASSERT_TRUE(Holds(Pictures(), expected));
    EXPECT_EQ(DecodeJPEG(Pictures() + "/Vistrel 0002.jpg").width, 640);

    // The whole display holds nothing of the grabber: every pixel is the pattern's.
    ASSERT_TRUE(keyboard->Chord(kControlShiftAltC));
    DecodedImage screen;
    EXPECT_TRUE(Eventually([&] {
        screen = Clipboard("image/png", DecodePNG);
        return screen.ok && screen.width == kScreen.width;
    }));
    EXPECT_EQ(FindOnPattern(screen, {0, 0, kScreen.width, kScreen.height}), std::make_pair(0, 0));
    ASSERT_TRUE(keyboard->Chord({XK_Num_Lock}));
    // The grabber is back where it was after the hidden and raised grabs, in its own window.
    EXPECT_EQ(Frame(), grabber);
    EXPECT_EQ(Grabber(), grabberWindow);

    // Save Defaults > TIFF, then a quick save: lossless, exact, with its type and creator codes.
    Menu({"Down", "Down", "Down", "Down", "Down", "Right", "Down", "Return"});
    Keys({"space"});
    expected.push_back("Vistrel 0000.tiff");
    ASSERT_TRUE(Holds(Pictures(), expected));
    const std::string tif = Pictures() + "/Vistrel 0000.tiff";
    const DecodedImage saved = DecodeTIFF(tif);
    ASSERT_TRUE(saved.ok);
    EXPECT_EQ(saved.width, 640);
    EXPECT_TRUE(FindOnPattern(saved, grabber));
    uint32_t codes[2] = {};
    ASSERT_EQ(platform::files::FSGetFileTypeCreator(tif, codes[0], codes[1]), 0);
    EXPECT_EQ(std::make_pair(codes[0], codes[1]),
              std::make_pair(platform::FourCC("TIFF"), platform::FourCC("prvw")));

    // Save Size > 320 x 240 halves the 640 x 480 grab.
    Menu({"Down", "Down", "Down", "Down", "Right", "Down", "Down", "Return"});
    Keys({"space"});
    expected.push_back("Vistrel 0001.tiff");
    ASSERT_TRUE(Holds(Pictures(), expected));
    const DecodedImage half = DecodeTIFF(Pictures() + "/Vistrel 0001.tiff");
    EXPECT_EQ(std::make_pair(half.width, half.height), std::make_pair(320, 240));

    // Arrows move the grabber by one point, Shift+arrows size it by one.
    const RootBox before = Frame();
    Keys({"Right"});
    EXPECT_TRUE(Eventually([&] { return Frame().x == before.x + 1; }, 30)) << Frame().x;
    Keys({"shift+Right"});
    EXPECT_TRUE(Eventually([&] { return Frame().width == before.width + 1; }, 30)) << Frame().width;

    // Grabber Size > Custom... opens its panel on the size in force; 400 x 300 entered and
    // applied re-sizes the grab view, so the frame loses 240 x 180.
    Menu({"Down", "Down", "Right", "Down", "Down", "Down", "Down", "Down", "Down", "Return"});
    ASSERT_TRUE(Eventually([&] { return (panel = Window("^Custom Grabber Size Size$")) != 0; }));
    const RootBox sized = Frame();
    // The width field has the focus; Tab leads to the height field and then to Apply.
    // (xdotool's type takes every later argument as text, so each field is a call of its own.)
    ASSERT_TRUE(Xdotool(Display(), {"windowactivate", "--sync", std::to_string(panel), "key",
                                    "--delay", "100", "ctrl+a", "type", "400"}));
    ASSERT_TRUE(Xdotool(Display(), {"key", "--delay", "100", "Tab", "ctrl+a", "type", "300"}));
    ASSERT_TRUE(Xdotool(Display(), {"key", "--delay", "100", "Tab", "space"}));
    EXPECT_TRUE(Eventually(
        [&] {
            const RootBox now = Frame();
            return now.width == sized.width - 240 && now.height == sized.height - 180;
        },
        30))
        << Frame().width << " x " << Frame().height;
    // A fixed size chosen from the menu ends the custom entry: its panel goes.
    Menu({"Down", "Down", "Right", "Down", "Return"});
    EXPECT_TRUE(Eventually([&] { return Window("^Custom Grabber Size Size$") == 0; }, 30));
}

TEST_F(VistrelGrabs, AHeldHotKeyIsReportedAndTheSaveDefaultsSurviveARestart) {
    // Another client holds Super+Alt+Ctrl+C (with no lock on) before the program starts.
    const uint8_t c = keyboard->Keycode(XK_c);
    const uint16_t superAltControl = (1 << 6) | (1 << 3) | (1 << 2);
    XKeyboard holder(Display());
    ASSERT_TRUE(holder.Grab(c, superAltControl));
    ASSERT_NO_FATAL_FAILURE(Launch());
    // The other three still work.
    ASSERT_TRUE(keyboard->Chord(kControlShiftAltG));
    ASSERT_TRUE(Holds(Pictures(), {"Vistrel 0000.jpg"}));

    // Save Defaults > PNG and > Documents Folder (which this user's session never made): the
    // next quick save lands there as PNG.
    Menu({"Down", "Down", "Down", "Down", "Down", "Right", "Down", "Down", "Return"});
    Menu({"Down", "Down", "Down", "Down", "Down", "Right", "Down", "Down", "Down", "Down", "Down",
          "Return"});
    ASSERT_TRUE(keyboard->Chord(kSuperAltControlG));
    ASSERT_TRUE(Holds(Documents(), {"Vistrel 0000.png"}))
        << ::testing::PrintToString(Files(Pictures()));
    const DecodedImage png = DecodePNG(Documents() + "/Vistrel 0000.png");
    ASSERT_TRUE(png.ok);
    EXPECT_TRUE(FindOnPattern(png, Frame()));
    Quit();
    EXPECT_NE(errors.find("sGrabWindowCopy_HotKey.Construct('CmdC',carbon_C_Command, "
                          "CoreGlobalHotKey::kCommandOptionControlModifier)"),
              std::string::npos)
        << errors;

    // After a restart the choices hold, the held key is free again, and a Documents folder
    // removed while the program runs is made again for the next quick save.
    holder.Ungrab(c, superAltControl);
    ASSERT_NO_FATAL_FAILURE(Launch());
    fs::remove_all(Documents());
    ASSERT_TRUE(keyboard->Chord(kSuperAltControlG));
    EXPECT_TRUE(Holds(Documents(), {"Vistrel 0000.png"}));
    ASSERT_TRUE(keyboard->Chord(kSuperAltControlC));
    EXPECT_TRUE(Eventually([&] { return Clipboard("image/png", DecodePNG).ok; }));
    EXPECT_EQ(Files(Pictures()), std::vector<std::string>{"Vistrel 0000.jpg"});
}

} // namespace
