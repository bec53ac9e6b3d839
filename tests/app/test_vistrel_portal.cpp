// The program on a private Xvfb in a Wayland session whose compositor gives no screen copy (none
// answers): its pixels come through the desktop portal's screen cast, here the real front end with
// the tests' own back end serving a picture that the X screen does not show. Grabs show that
// picture under the grab view; the portal's restore token is kept and sent again at the next start;
// a refusal, a missing portal or no session bus at all is said once and leaves the X screen's
// pixels.
#include "tests/app/VistrelOnX.h"
#include "tests/support/Broadcast.h"
#include "tests/support/ComponentBinding.h"
#include "tests/support/ScreenCastPortal.h"

using namespace testsupport;

namespace {

const std::string kFallback = "; capturing through XWayland, where native Wayland windows do not "
                              "show\n";
// The settings file's key (QSettings escapes its spaces).
constexpr const char* kTokenKey = "Screen%20Cast%20Restore%20Token=";

constexpr uint32_t kXSeed = 7;

class VistrelOnPortal : public PatternDesktop<ScreenSize{1024, 768}, kXSeed> {
protected:
    void SetUp() override {
        for (const char* tool : ScreenCastPortal::kTools)
            ASSERT_TRUE(Exists(tool)) << tool << " is missing: scripts/install-deps.sh";
        ASSERT_NO_FATAL_FAILURE(PatternDesktop::SetUp());
    }
    void Launch(const std::string& bus) {
        VistrelOnX::Launch({bus, "XDG_SESSION_TYPE=wayland", "WAYLAND_DISPLAY=" + home / "none"});
    }
    // The picture under the grab view, as a camera frame.
    std::string Under(const std::vector<uint32_t>& picture) const {
        return UnderGrabView(Frame(),
                             [&](int x, int y) { return picture[size_t(y) * kScreen.width + x]; });
    }
    // Whether a copy that a later launch asks for is the picture under the grab view (the quick
    // save takes the same grab).
    bool CopyShows(const std::vector<uint32_t>& picture) {
        return LaunchAgain({"--grab-copy"}).exitCode == 0 &&
               Eventually([&] { return Argb(Clipboard(640)) == Under(picture); });
    }
    // What the back end serves, and what the X screen shows.
    const std::vector<uint32_t> served = testsupport::TestPattern(kScreen.width, kScreen.height, 3),
                                onX =
                                    testsupport::TestPattern(kScreen.width, kScreen.height, kXSeed);
};

TEST_F(VistrelOnPortal, GrabsShowTheServedPictureAndTheTokenIsAskedOnce) {
    ScreenCastPortal portal(served, kScreen);
    ASSERT_TRUE(portal.Ready()) << portal.Errors();
    binding::LinkComponent("VistrelXXX"); // the camera, installed
    ASSERT_NO_FATAL_FAILURE(Launch(portal.Bus()));
    EXPECT_TRUE(CopyShows(served));
    EXPECT_EQ(LaunchAgain({"--broadcast", "on"}).exitCode, 0);
    EXPECT_TRUE(CameraShows(GST_LAUNCH, Under(served)))
        << "the camera frame is not the picture under the grab view";
    Quit();
    ASSERT_NE(portal.Record().find("SelectSources"), std::string::npos) << portal.Record();
    EXPECT_EQ(portal.Record().find("'restore_data'"), std::string::npos) << portal.Record();
    const size_t kept = Settings().find(kTokenKey);
    EXPECT_TRUE(kept != std::string::npos && Settings()[kept + strlen(kTokenKey)] != '\n')
        << Settings();

    // The next start hands the kept token back (the first sent none): the back end gets the
    // session it granted.
    ASSERT_NO_FATAL_FAILURE(Launch(portal.Bus()));
    EXPECT_TRUE(CopyShows(served));
    Quit();
    EXPECT_NE(portal.Record().find("'restore_data'"), std::string::npos) << portal.Record();
}

TEST_F(VistrelOnPortal, ARefusalOrNoPortalIsSaidOnceAndGrabsShowTheXScreen) {
    const struct {
        const char* name;
        bool refuse, frontEnd, bus;
        const char* why;
    } cases[] = {
        {"refused", true, true, true, "the screen cast was refused at the desktop portal"},
        {"no portal", false, false, true,
         "no desktop portal (org.freedesktop.portal.Desktop) is on the session bus"},
        {"no session bus", false, false, false, "vistrel: no Wayland compositor answers"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScreenCastPortal portal(served, kScreen, c.refuse, c.frontEnd);
        ASSERT_TRUE(portal.Ready()) << portal.Errors();
        errors.clear();
        ASSERT_NO_FATAL_FAILURE(Launch(c.bus ? portal.Bus() : "DBUS_SESSION_BUS_ADDRESS="));
        EXPECT_TRUE(CopyShows(onX));
        Quit();
        // Said once, with why.
        EXPECT_TRUE(errors.find(c.why + kFallback) != std::string::npos &&
                    errors.find(kFallback) == errors.rfind(kFallback))
            << errors;
    }
}

} // namespace
