// The program itself on a private Xvfb with openbox, over a pattern window of known pixels: the
// four hot keys, the clipboard, quick-save files, the save size, the grabber's keys, and the
// menu's choices saved by each way of ending and applied again at the next launch.
#include "tests/app/VistrelOnX.h"
#include "tests/support/ImageDecoders.h"
#include "tests/support/XKeyboard.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

constexpr ScreenSize kScreen{1024, 768};
constexpr uint32_t kSeed = 7;
// The grabber's frame around its 640 x 480 grab view, centred on the screen.
constexpr RootBox kFirstFrame{174, 126, 676, 516};

const std::vector<uint32_t> kSuperAltControlG{XK_Super_L, XK_Alt_L, XK_Control_L, XK_g},
    kControlShiftAltG{XK_Control_L, XK_Shift_L, XK_Alt_L, XK_g};

std::vector<std::string> Files(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// One server, window manager and pattern for the suite; the program is started by each group.
class VistrelGrabs : public ::testing::Test, public VistrelOnX {
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
        display = sServer->Display();
        keyboard = std::make_unique<XKeyboard>(display);
        ASSERT_TRUE(keyboard->Ok());
    }
    void TearDown() override {
        if (program) Quit();
    }
    std::string Pictures() const { return home / "Pictures/Vistrel"; }
    std::string Documents() const { return home / "Documents"; }
    bool Floats() const {
        const std::vector<std::string> states = NetWmState(display, Grabber());
        return std::count(states.begin(), states.end(), "_NET_WM_STATE_ABOVE") == 1;
    }
    void ExpectSettings(const std::vector<std::string>& lines) const {
        for (const std::string& line : lines)
            EXPECT_NE(Settings().find(line), std::string::npos) << line << " in\n" << Settings();
    }
    // Keys typed into the grabber window.
    void Keys(const std::vector<std::string>& keys) {
        Type({"windowactivate", "--sync", std::to_string(Grabber())}, keys);
    }
    // Waits until the folder holds exactly the names.
    static bool Holds(const std::string& folder, std::vector<std::string> names) {
        std::sort(names.begin(), names.end());
        return Eventually([&] { return Files(folder) == names; }, 50);
    }
    // Whether the image is exactly the pattern from (x0, y0) on.
    static bool IsPatternAt(const DecodedImage& image, int x0, int y0) {
        bool all = image.ok;
        for (int y = 0; y < image.height && all; ++y)
            for (int x = 0; x < image.width && all; ++x) {
                const uint8_t* s = &image.samples[size_t(y * image.width + x) * image.channels];
                all = sPattern->At(x0 + x, y0 + y) == (uint32_t(s[0]) << 16 | s[1] << 8 | s[2]);
            }
        return all;
    }
    // Whether the image is the whole grab view of a grabber with that frame.
    static bool IsGrab(const DecodedImage& image, RootBox frame) {
        return image.width == frame.width - 2 * kGrabberBar &&
               image.height == frame.height - 2 * kGrabberBar &&
               IsPatternAt(image, frame.x + kGrabberBar, frame.y + kGrabberBar);
    }
    // The clipboard's data of a type, decoded.
    DecodedImage Clipboard(const std::string& type,
                           DecodedImage (*decode)(const std::string&)) const {
        const ProcessResult read =
            RunProcess({XServer::ProgramPath("xclip"), "-selection", "clipboard", "-t", type, "-o"},
                       {"DISPLAY=" + display});
        const std::string path = scratch / "clipboard";
        WriteFile(path, read.out);
        return decode(path);
    }

    static inline std::unique_ptr<XServer> sServer;
    static inline std::unique_ptr<PatternWindow> sPattern;
    TempFolder scratch;
    std::unique_ptr<XKeyboard> keyboard;
};

TEST_F(VistrelGrabs, HotKeysClipboardSaveSizeAndGrabberKeys) {
    // A frame kept from a display that is gone: the grabber starts centred on the main display.
    fs::create_directories(home / ".config");
    WriteFile(home / ".config/com.tarnwick.Vistrel.conf",
              "[Strings]\nNSWindow%20Frame%20Vistrel=3000 200 676 516\n");
    ASSERT_NO_FATAL_FAILURE(Launch());
    EXPECT_TRUE(Eventually([&] { return Frame() == kFirstFrame; })) << "centred at first";
    const RootBox grabber = Frame();
    const uint32_t grabberWindow = Grabber();
    // Another program's window, the pattern, has the focus and keeps it through every hot key,
    // the grabs that hide the grabber and show it again included.
    const std::string pattern = std::to_string(sPattern->Id());
    const auto focused = [&] {
        return RunProcess({XServer::ProgramPath("xdotool"), "getwindowfocus"},
                          {"DISPLAY=" + display})
                   .out == pattern + "\n";
    };
    const auto keepsFocus = [&] { return !Eventually([&] { return !focused(); }, 10); };
    ASSERT_TRUE(Input({"windowfocus", "--sync", pattern}) && focused());

    // Each hot key once with Num Lock on (the locks' combinations are the hot keys' own test):
    // quick saves get the next numbers (JPEG by default), copies put the grab on the clipboard.
    std::vector<std::string> expected;
    ASSERT_TRUE(keyboard->Chord({XK_Num_Lock}));
    for (const auto* chord : {&kSuperAltControlG, &kControlShiftAltG}) {
        ASSERT_TRUE(keyboard->Chord(*chord));
        expected.push_back("Vistrel 000" + std::to_string(expected.size()) + ".jpg");
        EXPECT_TRUE(Holds(Pictures(), expected) && keepsFocus());
    }

    ASSERT_TRUE(keyboard->Chord({XK_Super_L, XK_Alt_L, XK_Control_L, XK_c}));
    DecodedImage png, tiff;
    EXPECT_TRUE(Eventually([&] {
        png = Clipboard("image/png", DecodePNG);
        return png.ok && png.width == 640;
    }));
    tiff = Clipboard("image/tiff", DecodeTIFF);
    ASSERT_TRUE(png.ok && tiff.ok);
    EXPECT_EQ(png.samples, tiff.samples);
    EXPECT_TRUE(IsGrab(png, grabber)) << "the copied grab is not the pattern under the grabber";
    EXPECT_TRUE(keepsFocus());

    // Save As (Ctrl+S) proposes the next numbered name in the quick-save folder; Return takes it.
    Keys({"ctrl+s"});
    uint32_t panel = 0;
    ASSERT_TRUE(Eventually([&] { return (panel = Window("Save")) != 0; }));
    ASSERT_TRUE(Input({"windowactivate", "--sync", std::to_string(panel), "key", "Return"}));
    expected.push_back("Vistrel 0002.jpg");
    ASSERT_TRUE(Holds(Pictures(), expected));
    EXPECT_EQ(DecodeJPEG(Pictures() + "/Vistrel 0002.jpg").width, 640);

    // The whole display holds nothing of the grabber: every pixel is the pattern's.
    ASSERT_TRUE(Input({"windowfocus", "--sync", pattern}) &&
                keyboard->Chord({XK_Control_L, XK_Shift_L, XK_Alt_L, XK_c}));
    DecodedImage screen;
    EXPECT_TRUE(Eventually([&] {
        screen = Clipboard("image/png", DecodePNG);
        return screen.ok && screen.width == kScreen.width;
    }));
    EXPECT_TRUE(IsPatternAt(screen, 0, 0) && keepsFocus());
    ASSERT_TRUE(keyboard->Chord({XK_Num_Lock}));
    // The grabber is back where it was after the hidden and raised grabs, in its own window.
    EXPECT_EQ(Frame(), grabber);
    EXPECT_EQ(Grabber(), grabberWindow);

    // Save Defaults > TIFF, then Grab and Save from the menu: lossless and exact. The pattern still
    // has the focus, so the first menu comes from a first (left) click on the grabber.
    Type({"mousemove", std::to_string(grabber.x + 60), std::to_string(grabber.y + 9), "click", "1",
          "sleep", "0.5"},
         {"Down", "Down", "Down", "Down", "Down", "Right", "Down", "Return"});
    Menu({"Down", "Down", "Down", "Down", "Down", "Down", "Down", "Return"}); // Grab and Save
    expected.push_back("Vistrel 0000.tiff");
    ASSERT_TRUE(Holds(Pictures(), expected));
    const DecodedImage saved = DecodeTIFF(Pictures() + "/Vistrel 0000.tiff");
    ASSERT_TRUE(saved.ok);
    EXPECT_TRUE(IsGrab(saved, grabber));

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

    // Grabber Size > Custom... opens its panel on the size in force, below the grab view here;
    // 400 x 300 entered and applied re-sizes the grab view, so the frame loses 240 x 180.
    Menu({"Down", "Down", "Right", "Down", "Down", "Down", "Down", "Down", "Down", "Return"});
    ASSERT_TRUE(Eventually([&] { return (panel = Window("Custom Grabber Size")) != 0; }));
    const RootBox sized = Frame(), p = At(panel);
    EXPECT_GE(p.y, sized.y + sized.height - kGrabberBar) << "the panel is over the grab view";
    // The width field has the focus; Tab leads to the height field and then to Apply.
    // (xdotool's type takes every later argument as text, so each field is a call of its own.)
    ASSERT_TRUE(Input({"windowactivate", "--sync", std::to_string(panel), "key", "--delay", "100",
                       "ctrl+a", "type", "400"}));
    ASSERT_TRUE(Input({"key", "--delay", "100", "Tab", "ctrl+a", "type", "300"}));
    ASSERT_TRUE(Input({"key", "--delay", "100", "Tab", "space"}));
    const auto resized = [&] {
        return Frame().width == sized.width - 240 && Frame().height == sized.height - 180;
    };
    EXPECT_TRUE(Eventually(resized, 30)) << Frame().width << " x " << Frame().height;
    // A width out of its rule, given by Return, is refused in words and changes nothing; Escape
    // closes the panel with nothing applied.
    for (const auto& [text, refusal] : {std::pair{"abc", "Width must be a number."},
                                        {"-400", "Width cannot be negative."},
                                        {"10", "Width must be at least 48."},
                                        {"4000", "Width must be at most 2048."},
                                        {"500", ""}}) {
        ASSERT_TRUE(Input({"mousemove", std::to_string(p.x + 120), std::to_string(p.y + 22),
                           "click", "1", "key", "ctrl+a"}) &&
                    Input({"type", "--", text}) && Input({"key", *refusal ? "Return" : "Escape"}));
        const std::string told = std::string("Custom Grabber Size: ") + refusal;
        EXPECT_TRUE(!*refusal || Eventually([&] {
            return program->ErrSoFar().find(told) != std::string::npos;
        })) << told;
        EXPECT_TRUE(Eventually([&] {
            return resized() && (Window("Custom Grabber Size") != 0) == (*refusal != 0);
        })) << text;
    }
    // A fixed size chosen from the menu ends the custom entry: its panel goes.
    Menu({"Down", "Down", "Right", "Down", "Down", "Down", "Down", "Down", "Down", "Return"});
    ASSERT_TRUE(Eventually([&] { return Window("Custom Grabber Size") != 0; }));
    Menu({"Down", "Down", "Right", "Down", "Return"});
    EXPECT_TRUE(Eventually([&] { return Window("Custom Grabber Size") == 0; }, 30));

    // Quit by its key: the choices are saved, and the groups left alone keep their first entry.
    Keys({"ctrl+q"});
    Quit(false);
    ExpectSettings({"DefaultFileTypeSelectorGroup=selectDefault_SaveTIFF:",
                    "GrabberConstrainGroup=selectGrabberConstrainNone:",
                    "DefaultFolderSelectorGroup=selectDefault_PicturesFolder:",
                    "DefaultCreatorSelectorGroup=selectDefault_CreatorPreview:",
                    "menuGrabberFloatAboveMenus%3A=0"});
}

TEST_F(VistrelGrabs, AHeldHotKeyIsReportedAndTheChoicesSurviveEveryWayOfEnding) {
    // Another client holds Super+Alt+Ctrl+C (with no lock on) before the program starts.
    const uint8_t c = keyboard->Keycode(XK_c);
    const uint16_t superAltControl = (1 << 6) | (1 << 3) | (1 << 2);
    XKeyboard holder(display);
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
    EXPECT_TRUE(IsGrab(png, Frame()));
    // Constrain > 16:9 and Grabber Size > Float Above Menus, then Quit (the last items).
    Menu({"Down", "Down", "Down", "Right", "Down", "Down", "Down", "Return"});
    Menu({"Down", "Down", "Right", "Up", "Return"});
    EXPECT_TRUE(Eventually([&] { return Floats(); })) << "float above menus is not on";
    ASSERT_TRUE(MovesBy(-60, 40));
    const RootBox left = Frame();
    Menu({"Up", "Return"});
    Quit(false);
    ExpectSettings(
        {"GrabberConstrainGroup=selectGrabberConstrain16x9:", "menuGrabberFloatAboveMenus%3A=1"});
    EXPECT_NE(errors.find("sGrabWindowCopy_HotKey.Construct('CmdC'"), std::string::npos) << errors;

    // After a restart the choices hold, and a Documents folder removed while the program runs is
    // made again for the next quick save.
    holder.Ungrab(c, superAltControl);
    ASSERT_NO_FATAL_FAILURE(Launch());
    EXPECT_TRUE(Eventually([&] { return Floats(); })) << "float above menus did not come back";
    EXPECT_TRUE(Eventually([&] { return Frame() == left; })) << "the grabber is not where it was";
    const RootBox before = Frame();
    ASSERT_TRUE(Drag(before.width - 5, before.height - 5, 10, 60));
    EXPECT_TRUE(Eventually([&] { return Frame().height == before.height + 60; }, 30));
    EXPECT_NEAR(Frame().width - 2 * kGrabberBar, 16.0 / 9.0 * (Frame().height - 2 * kGrabberBar),
                1.0)
        << "a corner drag keeps 16:9";
    fs::remove_all(Documents());
    ASSERT_TRUE(keyboard->Chord(kSuperAltControlG));
    EXPECT_TRUE(Holds(Documents(), {"Vistrel 0000.png"}));
    EXPECT_EQ(Files(Pictures()), std::vector<std::string>{"Vistrel 0000.jpg"});

    // Constrain > 4:3, then the X connection is lost, as when the session ends: saved all the same.
    Menu({"Down", "Down", "Down", "Right", "Down", "Down", "Return"});
    ASSERT_TRUE(Input({"windowkill", std::to_string(Grabber())}));
    Quit(false, false);
    ExpectSettings({"GrabberConstrainGroup=selectGrabberConstrain4x3:"});
}

} // namespace
