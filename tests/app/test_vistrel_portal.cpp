// The program on a private Xvfb in a Wayland session whose compositor gives no screen copy (none
// answers): its pixels come through the desktop portal's screen cast, here the real front end with
// the tests' own back end serving a picture that the X screen does not show. Grabs show that
// picture under the grab view; the portal's restore token is kept and sent again at the next start;
// a refusal or a missing portal is said once and leaves the X screen's pixels.
#include "tests/app/VistrelOnX.h"
#include "tests/support/Broadcast.h"
#include "tests/support/ComponentBinding.h"
#include "tests/support/ScreenCastPortal.h"

#include <filesystem>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

constexpr ScreenSize kScreen{1024, 768};
const std::string kFallback = "; capturing through XWayland, where native Wayland windows do not "
                              "show\n";
// The settings file's key (QSettings escapes its spaces), and why the X screen is grabbed.
constexpr const char *kTokenKey = "Screen%20Cast%20Restore%20Token=",
                     *kRefused = "the screen cast was refused at the desktop portal",
                     *kMissing = "no desktop portal (org.freedesktop.portal.Desktop) is on the "
                                 "session bus";

class VistrelOnPortal : public ::testing::Test, public VistrelOnX {
protected:
    static void SetUpTestSuite() {
        sServer = XServer::Xvfb(kScreen);
        if (sServer->Running() && sServer->StartWindowManager("openbox"))
            sShown = std::make_unique<PatternWindow>(
                sServer->Display(), RootBox{0, 0, kScreen.width, kScreen.height}, kXSeed);
    }
    static void TearDownTestSuite() { sShown.reset(), sServer.reset(); }
    void SetUp() override {
        for (const char* tool : {"Xvfb", "openbox", "xdotool", "xclip"})
            ASSERT_TRUE(XServer::Installed(tool)) << tool << " is missing: scripts/install-deps.sh";
        for (const char* tool : ScreenCastPortal::kTools)
            ASSERT_TRUE(Exists(tool)) << tool << " is missing: scripts/install-deps.sh";
        ASSERT_TRUE(sShown && sShown->Shown()) << sServer->Log();
        display = sServer->Display();
        fs::create_directories(home / ".config");
        WriteFile(home / ".config/com.tarnwick.Vistrel.conf",
                  "[Strings]\nDefaultFileTypeSelectorGroup=selectDefault_SaveTIFF:\n");
    }
    void TearDown() override {
        if (program) Quit();
    }
    void Launch(const ScreenCastPortal& portal) {
        VistrelOnX::Launch(
            {portal.Bus(), "XDG_SESSION_TYPE=wayland", "WAYLAND_DISPLAY=" + home / "none"});
    }
    // The picture under the grab view, as a camera frame.
    std::string Under(const std::vector<uint32_t>& picture) const {
        return UnderGrabView(Frame(),
                             [&](int x, int y) { return picture[size_t(y) * kScreen.width + x]; });
    }
    // A copy and the numbered quick save, both of the picture under the grab view.
    void ExpectGrabs(const std::vector<uint32_t>& picture, int save) {
        EXPECT_EQ(LaunchAgain({"--grab-copy"}).exitCode, 0);
        EXPECT_TRUE(Eventually([&] { return Argb(Clipboard(640)) == Under(picture); }))
            << "the copy is not the picture under the grab view";
        EXPECT_EQ(LaunchAgain({"--grab-save"}).exitCode, 0);
        const std::string saved =
            home / ("Pictures/Vistrel/Vistrel 000" + std::to_string(save) + ".tiff");
        EXPECT_TRUE(Eventually([&] {
            return Exists(saved) && Argb(DecodeTIFF(saved)) == Under(picture);
        })) << "the quick save is not the picture under the grab view";
    }
    // Whether the standard error of the launches so far says once that the capture falls back to
    // the X screen, and why.
    bool SaidOnce(const std::string& why) const {
        int times = 0;
        for (size_t at = errors.find(kFallback); at != std::string::npos;
             at = errors.find(kFallback, at + 1))
            ++times;
        return times == 1 && errors.find(why + kFallback) != std::string::npos;
    }

    static constexpr uint32_t kXSeed = 7, kServedSeed = 3;
    const std::vector<uint32_t> served = testsupport::TestPattern(kScreen.width, kScreen.height,
                                                                  kServedSeed),
                                onX =
                                    testsupport::TestPattern(kScreen.width, kScreen.height, kXSeed);
    static inline std::unique_ptr<XServer> sServer;
    static inline std::unique_ptr<PatternWindow> sShown;
};

TEST_F(VistrelOnPortal, GrabsShowTheServedPictureAndTheTokenIsAskedOnce) {
    ScreenCastPortal portal(served, kScreen);
    ASSERT_TRUE(portal.Ready()) << portal.Errors();
    binding::LinkComponent("VistrelXXX"); // the camera, installed
    ASSERT_NO_FATAL_FAILURE(Launch(portal));
    ExpectGrabs(served, 0);
    const ProcessResult on = LaunchAgain({"--broadcast", "on"});
    EXPECT_EQ(on.exitCode, 0) << on.err;
    EXPECT_TRUE(CameraShows(GST_LAUNCH, Under(served)))
        << "the camera frame is not the picture under the grab view";
    Quit();
    const size_t first = portal.Record().find("SelectSources");
    ASSERT_NE(first, std::string::npos) << portal.Record();
    EXPECT_EQ(portal.Record().find("'restore_data'"), std::string::npos) << portal.Record();
    const size_t kept = Settings().find(kTokenKey);
    EXPECT_TRUE(kept != std::string::npos && Settings()[kept + strlen(kTokenKey)] != '\n')
        << "no restore token kept in\n"
        << Settings();

    // The next start hands the kept token back: the back end gets the session it granted.
    ASSERT_NO_FATAL_FAILURE(Launch(portal));
    ExpectGrabs(served, 1);
    Quit();
    const size_t second = portal.Record().find("SelectSources", first + 1);
    ASSERT_NE(second, std::string::npos) << portal.Record();
    EXPECT_NE(portal.Record().find("'restore_data'", second), std::string::npos) << portal.Record();
    EXPECT_EQ(errors.find(kFallback), std::string::npos) << errors;
}

TEST_F(VistrelOnPortal, ARefusalOrAMissingPortalIsSaidOnceAndGrabsShowTheXScreen) {
    const struct {
        const char* name;
        bool refuse, frontEnd;
        const char* why;
    } cases[] = {
        {"refused", true, true, kRefused},
        {"no portal", false, false, kMissing},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScreenCastPortal portal(served, kScreen, c.refuse, c.frontEnd);
        ASSERT_TRUE(portal.Ready()) << portal.Errors();
        errors.clear();
        RemoveTree(home / "Pictures");
        ASSERT_NO_FATAL_FAILURE(Launch(portal));
        ExpectGrabs(onX, 0);
        Quit();
        EXPECT_TRUE(SaidOnce(c.why)) << errors;
    }
}

} // namespace
