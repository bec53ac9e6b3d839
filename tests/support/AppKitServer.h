#pragma once

// A private Xvfb with openbox, and this test process's application on it (Qt's xcb plug-in): the
// suite fixture of the tests that show real windows. A missing Xvfb, openbox or xdotool fails.
#include "platform/appkit/AppKit.h"
#include "tests/support/XServer.h"
#include "tests/support/XWindows.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace testsupport {

template <ScreenSize Size> class AppKitServerSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!XServer::Installed("Xvfb") || !XServer::Installed("openbox")) return;
        sServer = XServer::Xvfb(Size).release();
        if (!sServer->Running() || !sServer->StartWindowManager("openbox")) return;
        ::setenv("DISPLAY", sServer->Display().c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        static int argc = 1;
        static char name[] = "vistrel-test";
        static char* argv[] = {name, nullptr};
        sHost = new platform::appkit::NSApplicationHost(
            argc, argv, std::make_unique<platform::appkit::NSApplication>());
    }
    static void TearDownTestSuite() {
        delete sHost;
        sHost = nullptr;
        delete sServer;
        sServer = nullptr;
    }
    void SetUp() override {
        for (const char* tool : {"Xvfb", "openbox", "xdotool"})
            ASSERT_TRUE(XServer::Installed(tool)) << tool << " is missing: scripts/install-deps.sh";
        ASSERT_TRUE(sHost) << (sServer ? sServer->Log() : "no server");
    }
    static const std::string& Display() { return sServer->Display(); }
    static inline XServer* sServer = nullptr;
    static inline platform::appkit::NSApplicationHost* sHost = nullptr;
};

} // namespace testsupport
