// The program itself on a private Xvfb with openbox, over a pattern window of known pixels: the
// four hot keys, the clipboard, quick-save files, the save size, the grabber's keys, and the
// menu's choices saved by each way of ending and applied again at the next launch; what the user
// is told of saves, copies and failures; its command line, the one running copy that later
// launches hand their actions to, and its tray.
#include "tests/app/VistrelOnX.h"
#include "tests/support/ComponentBinding.h"
#include "tests/support/XKeyboard.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sys/file.h>
#include <sys/mount.h>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

// The grabber's frame around its 640 x 480 grab view, centred on the screen.
constexpr RootBox kFirstFrame{174, 126, 676, 516};

std::vector<std::string> Files(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class VistrelGrabs : public PatternDesktop<ScreenSize{1024, 768}, 7> {
protected:
    static void SetUpTestSuite() {
        PatternDesktop::SetUpTestSuite();
        sNotifications = std::make_unique<Notifications>();
        // The desktop's opener, which the notifications' action starts.
        WriteFile(sTools / "xdg-open", "#!/bin/sh\necho \"$@\" >>" + sTools / "opened\n");
        fs::permissions(sTools / "xdg-open", fs::perms::owner_all);
    }
    static void TearDownTestSuite() {
        sNotifications.reset();
        PatternDesktop::TearDownTestSuite();
    }
    // On the test's session bus, with its own opener.
    void Launch(std::vector<std::string> environment = {}) {
        environment.insert(
            environment.begin(),
            {sNotifications->Environment(), "PATH=" + sTools.Path() + ":" + std::getenv("PATH")});
        VistrelOnX::Launch(environment);
    }
    void SetUp() override {
        for (const char* tool : {"dbus-daemon", "weston", "kglobalaccel5", "gdbus"})
            ASSERT_TRUE(XServer::Installed(tool)) << tool << " is missing: scripts/install-deps.sh";
        ASSERT_NO_FATAL_FAILURE(PatternDesktop::SetUp());
    }
    std::string Pictures() const { return home / "Pictures/Vistrel"; }
    std::string Documents() const { return home / "Documents"; }
    void ExpectSettings(const std::vector<std::string>& lines) const {
        for (const std::string& line : lines)
            EXPECT_NE(Settings().find(line), std::string::npos) << line << " in\n" << Settings();
    }
    // Waits until the folder holds exactly the names.
    static bool Holds(const std::string& folder, std::vector<std::string> names) {
        std::sort(names.begin(), names.end());
        return Eventually([&] { return Files(folder) == names; }, 5);
    }
    // Whether the image is the whole grab view of a grabber with that frame.
    static bool IsGrab(const DecodedImage& image, RootBox frame) {
        return Argb(image) == UnderGrabView(frame, Pattern);
    }

    static inline std::unique_ptr<Notifications> sNotifications;
    static inline TempFolder sTools;
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
        return XdotoolWindow(display, {"getwindowfocus"}) == sPattern->Id();
    };
    const auto keepsFocus = [&] { return !Eventually([&] { return !focused(); }, 1); };
    ASSERT_TRUE(Input({"windowfocus", "--sync", pattern}) && focused());

    // Each hot key once (the locks' combinations are the hot keys' own test): quick saves get the
    // next numbers (JPEG by default), copies put the grab on the clipboard.
    std::vector<std::string> expected;
    for (const char* chord : {"super+alt+ctrl+g", "ctrl+shift+alt+g"}) {
        ASSERT_TRUE(Input({"key", chord}));
        expected.push_back("Vistrel 000" + std::to_string(expected.size()) + ".jpg");
        EXPECT_TRUE(Holds(Pictures(), expected) && keepsFocus());
        EXPECT_TRUE(sNotifications->Got("Saved " + expected.back() + "\tin " + Pictures() +
                                        "\tdefault,Open Folder"));
    }
    // Each notification's action opened the folder, the one clicked before the server's answer
    // too.
    const std::string opened = "file://" + Pictures() + "\n";
    EXPECT_TRUE(Eventually([&] { return ReadFile(sTools / "opened") == opened + opened; }))
        << ReadFile(sTools / "opened");

    ASSERT_TRUE(Input({"key", "super+alt+ctrl+c"}));
    const DecodedImage png = Clipboard(640), tiff = Clipboard(640, "image/tiff", DecodeTIFF);
    EXPECT_TRUE(sNotifications->Got("Copied the grab\t640 x 480 pixels, on the clipboard\t"));
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
    ASSERT_TRUE(Input({"windowfocus", "--sync", pattern, "key", "ctrl+shift+alt+c"}));
    const DecodedImage screen = Clipboard(kScreen.width);
    EXPECT_TRUE(Argb(screen) == Argb(kScreen.width, kScreen.height, Pattern) && keepsFocus());
    // The grabber is back after the hidden and raised grabs, in its own window (and where it was:
    // the next grab is of the pattern under its first frame).
    EXPECT_EQ(Grabber(), grabberWindow);

    // Save Defaults > TIFF, then Grab and Save from the menu: lossless and exact. The pattern still
    // has the focus, so the first menu comes from a first (left) click on the grabber.
    Type({"mousemove", std::to_string(grabber.x + 60), std::to_string(grabber.y + 9), "click", "1",
          "sleep", "0.5"},
         {"Down", "Down", "Down", "Down", "Down", "Right", "Down", "Return"});
    Menu({"Down", "Down", "Down", "Down", "Down", "Down", "Down", "Return"}); // Grab and Save
    expected.push_back("Vistrel 0000.tiff");
    ASSERT_TRUE(Holds(Pictures(), expected));
    EXPECT_TRUE(IsGrab(DecodeTIFF(Pictures() + "/Vistrel 0000.tiff"), grabber));

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
    EXPECT_TRUE(Eventually([&] { return Frame().x == before.x + 1; }, 3)) << Frame().x;
    Keys({"shift+Right"});
    EXPECT_TRUE(Eventually([&] { return Frame().width == before.width + 1; }, 3)) << Frame().width;

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
    EXPECT_TRUE(Eventually(resized, 3)) << Frame().width << " x " << Frame().height;
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

    // Quit by its key: the choices are saved, and the groups left alone keep their first entry.
    Keys({"ctrl+q"});
    Quit(false);
    ExpectSettings(
        {"DefaultFileTypeSelectorGroup=selectDefault_SaveTIFF:",
         "GrabberConstrainGroup=selectGrabberConstrainNone:", "menuGrabberFloatAboveMenus%3A=0"});
}

TEST_F(VistrelGrabs, AHeldHotKeyIsReportedAndTheChoicesSurviveEveryWayOfEnding) {
    // Another client holds Super+Alt+Ctrl+C (with no lock on) before the program starts.
    XKeyboard holder(display);
    const uint8_t c = holder.Keycode(XK_c);
    const uint16_t superAltControl = (1 << 6) | (1 << 3) | (1 << 2);
    ASSERT_TRUE(holder.Grab(c, superAltControl));
    ASSERT_NO_FATAL_FAILURE(Launch());

    // Save Defaults > PNG and > Documents Folder (which this user's session never made): the
    // next quick save lands there as PNG.
    Menu({"Down", "Down", "Down", "Down", "Down", "Right", "Down", "Down", "Return"});
    Menu({"Down", "Down", "Down", "Down", "Down", "Right", "Down", "Down", "Down", "Down", "Down",
          "Return"});
    ASSERT_TRUE(Input({"key", "super+alt+ctrl+g"})); // the other hot keys still work
    ASSERT_TRUE(Holds(Documents(), {"Vistrel 0000.png"}))
        << ::testing::PrintToString(Files(Pictures()));
    EXPECT_TRUE(IsGrab(DecodePNG(Documents() + "/Vistrel 0000.png"), Frame()));
    // Constrain > 16:9 and Grabber Size > Float Above Menus, then Quit (the last items).
    Menu({"Down", "Down", "Down", "Right", "Down", "Down", "Down", "Return"});
    Menu({"Down", "Down", "Right", "Up", "Return"});
    EXPECT_TRUE(Eventually([&] { return KeptAbove(display, Grabber()); })) << "float is not on";
    ASSERT_TRUE(MovesBy(-60, 40));
    const RootBox left = Frame();
    Menu({"Up", "Return"});
    Quit(false);
    ExpectSettings(
        {"GrabberConstrainGroup=selectGrabberConstrain16x9:", "menuGrabberFloatAboveMenus%3A=1"});
    EXPECT_NE(errors.find("sGrabWindowCopy_HotKey.Construct('CmdC'"), std::string::npos) << errors;

    // After a restart the choices hold, and a Documents folder removed while the program runs is
    // made again for the next quick save, here read back through OpenGL as before system 0x1070.
    holder.Ungrab(c, superAltControl);
    ASSERT_NO_FATAL_FAILURE(Launch({"VISTREL_SYSTEM_VERSION=0x1060"}));
    EXPECT_TRUE(Eventually([&] { return KeptAbove(display, Grabber()); })) << "float is gone";
    EXPECT_TRUE(Eventually([&] { return Frame() == left; })) << "the grabber is not where it was";
    const RootBox before = Frame();
    ASSERT_TRUE(
        Input(DragSteps(before.x + before.width - 5, before.y + before.height - 5, 10, 60)));
    EXPECT_TRUE(Eventually([&] { return Frame().height == before.height + 60; }, 3));
    EXPECT_NEAR(Frame().width - 2 * kGrabberBar, 16.0 / 9.0 * (Frame().height - 2 * kGrabberBar),
                1.0)
        << "a corner drag keeps 16:9";
    fs::remove_all(Documents());
    ASSERT_TRUE(Input({"key", "super+alt+ctrl+g"}));
    EXPECT_TRUE(Holds(Documents(), {"Vistrel 0000.png"}));
    // The read-back reads the grabbed display alone: the part of the grab view on it.
    const DecodedImage onDisplay = DecodePNG(Documents() + "/Vistrel 0000.png");
    const RootBox f = Frame();
    const auto fromTheLeftEdge = [&](int x, int y) { return Pattern(x, f.y + kGrabberBar + y); };
    EXPECT_TRUE(f.x < 0 && Argb(onDisplay) == Argb(f.x + f.width - kGrabberBar,
                                                   f.height - 2 * kGrabberBar, fromTheLeftEdge));

    // Constrain > 4:3, then the X connection is lost, as when the session ends: saved all the same.
    Menu({"Down", "Down", "Down", "Right", "Down", "Down", "Return"});
    ASSERT_TRUE(Input({"windowkill", std::to_string(Grabber())}));
    Quit(false, false);
    ExpectSettings({"GrabberConstrainGroup=selectGrabberConstrain4x3:"});
}

TEST_F(VistrelGrabs, KDEsShortcutServiceGetsTheKeysAndKeepsTheUsersOwn) {
    // The user gave Grab and Copy Super+Alt+Ctrl+V in the desktop's settings; another component
    // holds Ctrl+Shift+Alt+G.
    fs::create_directories(home / ".config");
    WriteFile(home / ".config/kglobalshortcutsrc",
              "[com.tarnwick.Vistrel]\nCmdC=Meta+Ctrl+Alt+V,Meta+Ctrl+Alt+C,Grab and Copy\n"
              "[other]\nx=Ctrl+Shift+Alt+G,Ctrl+Shift+Alt+G,X\n");
    const std::vector<std::string> environment = Environment({sNotifications->Environment()});
    const auto service = Start({XServer::ProgramPath("kglobalaccel5")}, environment);
    const auto infos = [&] {
        return RunProcess({XServer::ProgramPath("gdbus"), "call", "--session", "-d",
                           "org.kde.kglobalaccel", "-o", "/component/com_tarnwick_Vistrel", "-m",
                           "org.kde.kglobalaccel.Component.allShortcutInfos"},
                          environment)
            .out;
    };
    ASSERT_TRUE(Eventually([&] { return !infos().empty(); })) << service->ErrSoFar();
    ASSERT_NO_FATAL_FAILURE(Launch());
    // Meta+Alt+Ctrl (0x1C000000) or Ctrl+Shift+Alt (0x0E000000) with the key.
    for (const char* action : {"('CmdG', 'Grab and Save', 'com.tarnwick.Vistrel', 'Vistrel', "
                               "'default', 'Default Context', [469762119]",
                               "('CmdC', 'Grab and Copy', 'com.tarnwick.Vistrel', 'Vistrel', "
                               "'default', 'Default Context', [469762134]",
                               "'ctlC', 'Grab Screen and Copy', 'com.tarnwick.Vistrel', 'Vistrel', "
                               "'default', 'Default Context', [234881091]"})
        EXPECT_NE(infos().find(action), std::string::npos) << action << " in " << infos();
    // The service grabs the keys on the X server and reports their presses.
    ASSERT_TRUE(Input({"key", "super+alt+ctrl+g"}));
    EXPECT_TRUE(Holds(Pictures(), {"Vistrel 0000.jpg"}));
    ASSERT_TRUE(Input({"key", "super+alt+ctrl+v"}));
    EXPECT_TRUE(IsGrab(Clipboard(640), Frame()));
    Quit();
    EXPECT_NE(errors.find("sGrabScreenSave_HotKey.Construct('ctlG'"), std::string::npos) << errors;
    // A service that stops answering costs the start one bounded wait; the keys are reported.
    service->Kill(SIGSTOP);
    ASSERT_NO_FATAL_FAILURE(Launch());
    Quit();
    EXPECT_NE(errors.find("sGrabWindowCopy_HotKey.Construct('CmdC'"), std::string::npos) << errors;
}

TEST_F(VistrelGrabs, FailuresSettingsProblemsAndUnfinishedSavesAreTold) {
    // Settings the format cannot read (mode 0640), a file where the quick-save folder belongs,
    // and the temporary files of two saves in Documents: one killed, one still being written.
    const std::string settings = home / ".config/com.tarnwick.Vistrel.conf";
    const std::string damaged = "[Strings]\nGrab\x01\xff\n", vistrel = home / "Pictures/Vistrel";
    for (const std::string& folder : {home / ".config", home / "Pictures", Documents()})
        fs::create_directories(folder);
    WriteFile(settings, damaged), WriteFile(vistrel, ""),
        fs::permissions(settings, fs::perms(0640));
    const std::string killed = Documents() + "/.saving-Ab12Cd",
                      live = Documents() + "/.saving-Ef34Gh";
    for (const std::string& file : {killed, live, Documents() + "/.saving-notes.txt"}) {
        WriteFile(file, "half a picture");
        fs::last_write_time(file, fs::last_write_time(file) - std::chrono::hours(1));
    }
    const int writer = ::open(live.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(writer, LOCK_EX), 0);
    ASSERT_NO_FATAL_FAILURE(Launch());
    EXPECT_TRUE(sNotifications->Got("Vistrel settings\t" + settings +
                                    " is damaged at line 2: what could not be read is not used, "
                                    "and the whole file is kept as " +
                                    settings + ".bad\t"));
    EXPECT_EQ(ReadFile(settings + ".bad"), damaged);
    EXPECT_EQ(Files(Documents()),
              (std::vector<std::string>{".saving-Ef34Gh", ".saving-notes.txt"}));
    ::close(writer);
    // The save goes nowhere else, and says why, in the log too.
    ASSERT_TRUE(Input({"key", "super+alt+ctrl+g"}));
    const std::string why = vistrel + " is a file, not a folder";
    EXPECT_TRUE(sNotifications->Got("Could not save the grab\t" + why + "\t"));
    EXPECT_EQ(Files(home / "Pictures"), std::vector<std::string>{"Vistrel"});
    Quit();
    EXPECT_NE(errors.find("Vistrel: Could not save the grab: " + why), std::string::npos) << errors;
    EXPECT_EQ(fs::status(settings).permissions(), fs::perms(0640));
    ExpectSettings({"DefaultFileTypeSelectorGroup=selectDefault_SaveJPEG:"});

    // Settings that cannot be written, in a read-only folder and then a folder in the file's
    // place, are told at start and left as they are.
    const std::string config = home / ".config", kept = Settings(),
                      unkept = ": the choices made now will not be kept\t";
    ASSERT_EQ(::mount(config.c_str(), config.c_str(), nullptr, MS_BIND, nullptr), 0);
    ::mount(nullptr, config.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr);
    ASSERT_NO_FATAL_FAILURE(Launch());
    EXPECT_TRUE(sNotifications->Got("Vistrel settings\t" + settings +
                                    " cannot be written to (Read-only file system)" + unkept));
    Quit();
    ::umount(config.c_str());
    EXPECT_EQ(Settings(), kept);
    fs::remove(settings), fs::create_directory(settings);
    ASSERT_NO_FATAL_FAILURE(Launch());
    EXPECT_TRUE(sNotifications->Got("Vistrel settings\t" + settings +
                                    " is a folder, not a settings file" + unkept));
    Quit();
    EXPECT_TRUE(fs::is_directory(settings));
}

TEST_F(VistrelGrabs, CommandLineAndSessionRefusals) {
    // Whatever the command line, nothing crashes and nothing starts: status, the start of standard
    // output, standard error (a pattern, one line or none).
    struct Case {
        std::vector<std::string> arguments, environment;
        int status;
        std::string out, err;
    };
    // (--help and --version are the install's test, for every program.)
    const Case cases[] = {
        {{"--broadcast", "maybe"}, {}, 2, "", "vistrel: --broadcast takes on or off, not *\n"},
        {{"now"}, {}, 2, "", "vistrel: unexpected argument 'now' (see --help)\n"},
        {{}, {"QT_QPA_PLATFORM=offscreen"}, 1, "", "vistrel: needs the X11 platform, but *\n"},
        {{}, {"DISPLAY="}, 1, "", "vistrel: no X display: DISPLAY is not set\n"},
        {{"--grab-save"}, {"DISPLAY=:97"}, 1, "", "vistrel: cannot open the X display \":97\"\n"}};
    for (const Case& c : cases) {
        const ProcessResult r = LaunchAgain(c.arguments, c.environment);
        const std::string what =
            ::testing::PrintToString(c.arguments) + " " + ::testing::PrintToString(c.environment);
        EXPECT_EQ(r.signal, 0) << what;
        EXPECT_EQ(r.exitCode, c.status) << what << r.err;
        EXPECT_EQ(r.out.rfind(c.out, 0), 0u) << what << r.out;
        EXPECT_TRUE(MatchesLines(r.err, c.err)) << what << r.err;
    }
    EXPECT_EQ(Grabber(), 0u);
}

TEST_F(VistrelGrabs, LaterLaunchesHandTheirActionsToTheOneRunningCopy) {
    ASSERT_NO_FATAL_FAILURE(Launch());
    const uint32_t first = Grabber();
    // Without a tray, nothing could bring a hidden grabber back: Ctrl+H leaves it shown.
    Keys({"ctrl+h"});
    EXPECT_EQ(Grabber(), first) << "hidden with no tray to bring it back";
    // Iconified, it comes back at the next launch, in front with the focus; that launch ends.
    ASSERT_TRUE(Input({"windowminimize", "--sync", std::to_string(first)}));
    ASSERT_EQ(Grabber(), 0u);
    const ProcessResult second = LaunchAgain({});
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_TRUE(Eventually([&] {
        return Grabber() == first && XdotoolWindow(display, {"getactivewindow"}) == first;
    }));
    // The hot keys stay with the first copy.
    ASSERT_TRUE(Input({"key", "super+alt+ctrl+g"}));
    ASSERT_TRUE(Holds(Pictures(), {"Vistrel 0000.jpg"}));

    // Each action does what its hot key does, in the running copy: the next quick save or the
    // clipboard, of the grab view (640 x 480) or the whole screen (their pixels: the hot keys').
    std::vector<std::string> saved = {"Vistrel 0000.jpg"};
    for (const auto& [action, width, copies] : {std::tuple{"--grab-save", 640, false},
                                                {"--grab-screen-save", kScreen.width, false},
                                                {"--grab-copy", 640, true},
                                                {"--grab-screen-copy", kScreen.width, true}}) {
        SCOPED_TRACE(action);
        EXPECT_EQ(LaunchAgain({action}).exitCode, 0);
        if (copies) {
            EXPECT_EQ(Clipboard(width).width, width);
            continue;
        }
        saved.push_back("Vistrel 000" + std::to_string(saved.size()) + ".jpg");
        ASSERT_TRUE(Holds(Pictures(), saved));
        EXPECT_EQ(DecodeJPEG(Pictures() + "/" + saved.back()).width, width);
    }
    // The broadcast box's state; the camera link is the running copy's and outlives launches.
    EXPECT_EQ(LaunchAgain({"--broadcast", "on"}).exitCode, 0);
    EXPECT_TRUE(Exists(binding::UserLink()));
    EXPECT_EQ(LaunchAgain({}).exitCode, 0);
    EXPECT_TRUE(Exists(binding::UserLink())) << "a later launch removed the camera link";
    EXPECT_EQ(LaunchAgain({"--broadcast", "off"}).exitCode, 0);
    EXPECT_FALSE(Exists(binding::UserLink()));
    // A link another process made (vistrel-channel publish, say) is not the broadcast's to remove.
    binding::LinkComponent();
    EXPECT_EQ(LaunchAgain({"--broadcast", "on"}).exitCode, 0);
    EXPECT_EQ(LaunchAgain({"--broadcast", "off"}).exitCode, 0);
    EXPECT_TRUE(Exists(binding::UserLink())) << "the broadcast removed a link it did not make";

    // Grab Screen and Copy (the tenth item) from the grabber's own menu hides the menu's window
    // meanwhile.
    std::vector<std::string> keys(10, "Down");
    keys.push_back("Return");
    Menu(keys);
    EXPECT_FALSE(program->Wait(2)) << "the menu's whole-screen grab ended the program";

    // Closed by the window manager with no tray, it quits as by its Quit item.
    Keys({"alt+F4"});
    Quit(false);
    ExpectSettings({"GrabberConstrainGroup=selectGrabberConstrainNone:"});

    // With no copy running, an action starts one first; it keeps running.
    const ProcessResult started = LaunchAgain({"--grab-copy"});
    EXPECT_EQ(started.exitCode, 0) << started.err;
    EXPECT_EQ(Clipboard(640).width, 640);
    // The lock file (of this user in XDG_RUNTIME_DIR, and this display) names its holder.
    const std::string lock = ReadFile(home / "com.tarnwick.Vistrel-display_" +
                                      display.substr(display.find(':') + 1) + ".lock");
    ASSERT_NE(Grabber(), 0u);
    ASSERT_EQ(::kill(pid_t(std::atoi(lock.c_str())), SIGTERM), 0) << lock;
    EXPECT_TRUE(Eventually([&] { return Grabber() == 0; }));
}

TEST_F(VistrelGrabs, ATrayThatComesLaterTakesTheIconAndCanBringTheGrabberBack) {
    // A Wayland session beside the X server (a headless compositor): the grabber is still a
    // window of the X server.
    const auto compositor = Start({XServer::ProgramPath("weston"), "--backend=headless-backend.so",
                                   "--socket=wayland-test", "--use-pixman", "--idle-time=0"},
                                  {"XDG_RUNTIME_DIR=" + home.Path()});
    ASSERT_TRUE(Eventually([&] { return Exists(home / "wayland-test"); }))
        << compositor->ErrSoFar();
    ASSERT_NO_FATAL_FAILURE(
        Launch({"QT_QPA_PLATFORM=", "WAYLAND_DISPLAY=wayland-test", "XDG_SESSION_TYPE=wayland"}));
    XEmbedTray tray(display);
    EXPECT_NE(tray.DockRequest(10), 0u) << "the icon did not ask the new tray to dock";
    // Now Ctrl+H and the window manager's close hide the grabber; a later launch shows it.
    for (const char* keys : {"ctrl+h", "alt+F4"}) {
        Keys({keys});
        EXPECT_TRUE(Eventually([&] { return Grabber() == 0; })) << keys;
        EXPECT_EQ(LaunchAgain({"--show"}).exitCode, 0);
        EXPECT_TRUE(Eventually([&] { return Grabber() != 0; })) << keys;
    }
    EXPECT_FALSE(program->Wait(0)) << "ended while a tray could bring the grabber back";
}

} // namespace
