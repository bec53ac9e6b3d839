#pragma once

// A private Xvfb whose whole screen shows a known pattern, and scenarios run against it in
// child processes (the display services keep one X connection per process).
#include "tests/support/TestSupport.h"
#include "tests/support/XServer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

// Runs body with $DISPLAY set (or unset for an empty name); its failures are reported here.
inline void InDisplayChild(const std::string& display, const std::function<void()>& body) {
    Child child([&] {
        display.empty() ? ::unsetenv("DISPLAY") : ::setenv("DISPLAY", display.c_str(), 1);
        body();
        return ::testing::Test::HasFailure() ? 1 : 0;
    });
    ASSERT_TRUE(child.Wait(120));
    EXPECT_EQ(child.exitCode, 0) << child.out << child.err;
}

struct PatternScreen {
    explicit PatternScreen(ScreenSize size, uint32_t seed = 11,
                           const std::vector<std::string>& serverArguments = {})
        : size(size), pattern(TestPattern(size.width, size.height, seed)),
          server(XServer::Xvfb(size, 24, serverArguments)),
          drawn(server->Running() &&
                PutRootPixels(server->Display(), 0, 0, size.width, size.height, pattern)) {}
    // 0x00RRGGBB of the pixel at (x, y) counted from the top-left.
    uint32_t At(int x, int y) const { return pattern[size_t(y) * size_t(size.width) + size_t(x)]; }
    std::string Log() const { return server->Log(); }

    ScreenSize size;
    std::vector<uint32_t> pattern;
    std::unique_ptr<XServer> server;
    bool drawn = false;
};

// A test suite sharing one pattern screen.
template <ScreenSize Size, uint32_t Seed = 11> class PatternScreenSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() { sScreen = new PatternScreen(Size, Seed); }
    static void TearDownTestSuite() {
        delete sScreen;
        sScreen = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(sScreen->drawn) << sScreen->Log(); }
    static const std::string& Display() { return sScreen->server->Display(); }
    static inline PatternScreen* sScreen = nullptr;
};

} // namespace testsupport
