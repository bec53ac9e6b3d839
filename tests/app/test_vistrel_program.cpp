// The program itself on a private Xvfb with openbox: it shows the grabber, its context menu marks
// the chosen items, an orderly quit saves the choices and the next launch applies them again.
#include "tests/support/TestSupport.h"
#include "tests/support/XServer.h"
#include "tests/support/XWindows.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <thread>

using namespace testsupport;

namespace {

constexpr ScreenSize kScreen{1024, 768};
// The grabber's frame around its 640 x 480 grab view, centred on the screen.
constexpr RootBox kFirstFrame{174, 126, 676, 516};
constexpr int kBar = 18;

struct VistrelProgram : ::testing::Test {
    void SetUp() override {
        for (const char* tool : {"Xvfb", "openbox", "xdotool"})
            ASSERT_TRUE(XServer::Installed(tool)) << tool << " is missing: scripts/install-deps.sh";
        server = XServer::Xvfb(kScreen);
        ASSERT_TRUE(server->Running()) << server->Log();
        ASSERT_TRUE(server->StartWindowManager("openbox"));
    }

    // Starts the staged program and waits for its grabber window; 0 when none appeared.
    uint32_t Launch() {
        const std::string display = server->Display(), home = config.Path();
        program = std::make_unique<Child>([display, home] {
            ::setenv("DISPLAY", display.c_str(), 1);
            ::setenv("QT_QPA_PLATFORM", "xcb", 1);
            ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
            return Exec({StagePath("bin/vistrel")});
        });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            const ProcessResult found = RunProcess(
                {XServer::ProgramPath("xdotool"), "search", "--onlyvisible", "--name", "^Vistrel$"},
                {"DISPLAY=" + display});
            if (found.exitCode == 0 && !found.out.empty()) return uint32_t(std::stoul(found.out));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return 0;
    }
    // Ends the program orderly: by signal, through its menu's last item, or by its key
    // equivalent; and checks that it exited.
    enum class By { Signal, Menu, Key };
    void Quit(By how) {
        if (how == By::Signal) program->Kill(SIGTERM);
        if (how == By::Menu) Menu({"Up", "Return"});
        if (how == By::Key) {
            ASSERT_TRUE(Xdotool(server->Display(), {"key", "ctrl+q"}));
        }
        ASSERT_TRUE(program->Wait(20));
        EXPECT_EQ(program->exitCode, 0) << program->err;
    }
    // Opens the grabber's context menu on its top bar and types the keys into it.
    void Menu(const std::vector<std::string>& keys) {
        const RootBox frame = RootGeometry(server->Display(), window).value_or(RootBox{});
        // Each step is given time: the menu and its submenus open on the program's next passes.
        std::vector<std::string> args{"mousemove", std::to_string(frame.x + frame.width / 2),
                                      std::to_string(frame.y + kBar / 2)};
        args.insert(args.end(), {"click", "3", "sleep", "1", "key", "--delay", "250"});
        args.insert(args.end(), keys.begin(), keys.end());
        args.insert(args.end(), {"sleep", "0.3"});
        ASSERT_TRUE(Xdotool(server->Display(), args));
    }
    std::string Settings() const { return ReadFile(config / "com.tarnwick.Vistrel.conf"); }
    bool Floats() const {
        for (const std::string& state : NetWmState(server->Display(), window))
            if (state == "_NET_WM_STATE_ABOVE") return true;
        return false;
    }

    std::unique_ptr<XServer> server;
    TempFolder config;
    std::unique_ptr<Child> program;
    uint32_t window = 0;
};

bool Eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 200; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(50)))
        if (done()) return true;
    return false;
}

TEST_F(VistrelProgram, FirstLaunchShowsTheGrabberAndMarksEachGroupsFirstEntry) {
    window = Launch();
    ASSERT_NE(window, 0u) << (program ? program->err : "");
    EXPECT_TRUE(Eventually([&] { return RootGeometry(server->Display(), window) == kFirstFrame; }));
    Quit(By::Signal);
    const std::string saved = Settings();
    for (const char* line : {"GrabberSizeGroup=selectGrabberSizeResizeable:",
                             "GrabberConstrainGroup=selectGrabberConstrainNone:",
                             "GrabberSaveGroup=selectSaveSizeSameAsGrabSize:",
                             "DefaultFileTypeSelectorGroup=selectDefault_SaveJPEG:",
                             "DefaultFolderSelectorGroup=selectDefault_PicturesFolder:",
                             "DefaultCreatorSelectorGroup=selectDefault_CreatorPreview:",
                             "menuGrabberFloatAboveMenus%3A=0"})
        EXPECT_NE(saved.find(line), std::string::npos) << line << " in\n" << saved;
}

TEST_F(VistrelProgram, ChoicesAreSavedWhenTheXSessionEnds) {
    window = Launch();
    ASSERT_NE(window, 0u) << (program ? program->err : "");
    Menu({"Down", "Down", "Down", "Right", "Down", "Down", "Return"});
    server.reset();
    ASSERT_TRUE(program->Wait(20));
    EXPECT_NE(Settings().find("GrabberConstrainGroup=selectGrabberConstrain4x3:"),
              std::string::npos)
        << Settings() << program->err;
}

TEST_F(VistrelProgram, MenuChoicesComeBackAfterAnOrderlyQuit) {
    window = Launch();
    ASSERT_NE(window, 0u) << (program ? program->err : "");
    // Constrain > 16:9, then Grabber Size > Float Above Menus (the last item), then Quit.
    Menu({"Down", "Down", "Down", "Right", "Down", "Down", "Down", "Return"});
    Menu({"Down", "Down", "Right", "Up", "Return"});
    EXPECT_TRUE(Eventually([&] { return Floats(); })) << "float above menus is not on";
    Quit(By::Menu);
    std::string saved = Settings();
    EXPECT_NE(saved.find("GrabberConstrainGroup=selectGrabberConstrain16x9:"), std::string::npos)
        << saved;
    EXPECT_NE(saved.find("menuGrabberFloatAboveMenus%3A=1"), std::string::npos) << saved;

    // The next launch applies them: the key grabber floats, and a corner drag keeps 16:9.
    window = Launch();
    ASSERT_NE(window, 0u);
    EXPECT_TRUE(Eventually([&] { return Floats(); })) << "float above menus did not come back";
    const RootBox before = RootGeometry(server->Display(), window).value_or(RootBox{});
    const int x = before.x + before.width - 5, y = before.y + before.height - 5;
    ASSERT_TRUE(Xdotool(server->Display(),
                        {"mousemove", std::to_string(x), std::to_string(y), "mousedown", "1",
                         "mousemove", std::to_string(x + 5), std::to_string(y + 30), "mousemove",
                         std::to_string(x + 10), std::to_string(y + 60), "mouseup", "1"}));
    RootBox after{};
    EXPECT_TRUE(Eventually([&] {
        after = RootGeometry(server->Display(), window).value_or(RootBox{});
        return after.height == before.height + 60;
    }));
    EXPECT_NEAR(after.width - 2 * kBar, 16.0 / 9.0 * (after.height - 2 * kBar), 1.0);
    Quit(By::Key); // the grabber has the focus: it floats
    saved = Settings();
    EXPECT_NE(saved.find("GrabberConstrainGroup=selectGrabberConstrain16x9:"), std::string::npos);
    EXPECT_NE(saved.find("menuGrabberFloatAboveMenus%3A=1"), std::string::npos);
}

} // namespace
