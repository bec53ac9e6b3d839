#pragma once

// The staged program on a private X server, launched again and again with one user's home, and
// driven as a user would through xdotool: its windows found by title, its grabber's context menu
// opened on the top bar, the grabber dragged.
#include "tests/support/TestSupport.h"
#include "tests/support/XServer.h"
#include "tests/support/XWindows.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>

namespace testsupport {

constexpr int kGrabberBar = 18; // the grabber's bars around its grab view

inline bool Eventually(const std::function<bool()>& done, int tenths = 100) {
    for (int i = 0; i < tenths; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(100)))
        if (done()) return true;
    return false;
}

struct VistrelOnX {
    // Starts the program (with the extra environment "NAME=value") and waits for its grabber.
    void Launch(const std::vector<std::string>& environment = {}) {
        program = std::make_unique<Child>([=, this, folder = home.Path()] {
            for (const std::string& setting : environment)
                ::putenv(::strdup(setting.c_str()));
            ::setenv("DISPLAY", display.c_str(), 1);
            ::setenv("QT_QPA_PLATFORM", "xcb", 1);
            ::setenv("HOME", folder.c_str(), 1);
            ::setenv("XDG_CONFIG_HOME", (folder + "/.config").c_str(), 1);
            return Exec({StagePath("bin/vistrel")});
        });
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
    std::string Settings() const { return ReadFile(home / ".config/com.tarnwick.Vistrel.conf"); }

    // The shown window of that title (0: none).
    uint32_t Window(const std::string& title) const {
        const ProcessResult found = RunProcess({XServer::ProgramPath("xdotool"), "search",
                                                "--onlyvisible", "--name", "^" + title + "$"},
                                               {"DISPLAY=" + display});
        return found.exitCode == 0 && !found.out.empty() ? uint32_t(std::stoul(found.out)) : 0;
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
    // Opens the grabber's context menu on its top bar (right of where the custom panels open)
    // and types the keys into it.
    void Menu(const std::vector<std::string>& keys) const {
        const RootBox f = Frame();
        Type({"mousemove", std::to_string(f.x + f.width * 3 / 4),
              std::to_string(f.y + kGrabberBar / 2), "click", "3", "sleep", "0.5"},
             keys);
    }
    // Presses at (x, y) of the grabber's frame, moves by (dx, dy) in two steps and releases.
    bool Drag(int x, int y, int dx, int dy) const {
        const RootBox f = Frame();
        const auto at = [](int v) { return std::to_string(v); };
        x += f.x, y += f.y;
        return Input({"mousemove", at(x), at(y), "mousedown", "1", "mousemove", at(x + dx / 2),
                      at(y + dy / 2), "mousemove", at(x + dx), at(y + dy), "mouseup", "1"});
    }
    // Drags the grabber by its top bar and waits until the server has it moved.
    bool MovesBy(int dx, int dy) const {
        const RootBox from = Frame();
        const auto moved = [&] { return Frame().x == from.x + dx && Frame().y == from.y + dy; };
        return Drag(from.width / 2, kGrabberBar / 2, dx, dy) && Eventually(moved, 30);
    }

    std::string display; // the X server's
    TempFolder home;
    std::unique_ptr<Child> program;
    std::string errors; // the standard error of the launches that ended
};

} // namespace testsupport
