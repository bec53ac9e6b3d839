#pragma once

// The desktop portal's real front end on a PipeWire session of the test's own, with the tests'
// screen-cast back end behind it (serving a picture of the test's) and the permission store where
// the front end keeps restore tokens, its data in a folder of the portal's. The session bus
// starts nothing by itself: without the front end no portal answers.
#include "tests/support/PipeWireSession.h"
#include "tests/support/XServer.h"

#include <cstdint>
#include <cstdlib>

namespace testsupport {

class ScreenCastPortal {
public:
    static constexpr const char* kTools[] = {DESKTOP_PORTAL, PERMISSION_STORE, GDBUS};

    // picture: 0x00RRGGBB pixels, rows of the size's width (BGRx bytes as they lie in memory).
    ScreenCastPortal(const std::vector<uint32_t>& picture, ScreenSize size, bool refuse = false,
                     bool frontEnd = true) {
        WriteFile(mFolder / "picture", std::string(reinterpret_cast<const char*>(picture.data()),
                                                   picture.size() * sizeof(uint32_t)));
        mStore = Start(
            {XServer::ProgramPath("env"), "XDG_DATA_HOME=" + mFolder / "data", PERMISSION_STORE});
        std::vector<std::string> backend = {
            StagePath("bin/test_screencast_backend"), mFolder / "picture",
            std::to_string(size.width) + "x" + std::to_string(size.height), mFolder / "record"};
        if (refuse) backend.push_back("--refuse");
        mBackend = Start(backend);
        mReady = Owned("org.freedesktop.impl.portal.desktop.vistreltest") &&
                 Owned("org.freedesktop.impl.portal.PermissionStore");
        if (!frontEnd || !mReady) return;
        mFrontEnd = Start({XServer::ProgramPath("env"), "XDG_CURRENT_DESKTOP=vistreltest",
                           "XDG_DESKTOP_PORTAL_DIR=" SCREENCAST_PORTAL_DIR, DESKTOP_PORTAL});
        mReady = Owned("org.freedesktop.portal.Desktop");
    }

    // Whether everything asked for is on the bus; else the daemons' errors say why.
    bool Ready() const { return mReady; }
    std::string Errors() const {
        std::string errors = mBackend->ErrSoFar() + mStore->ErrSoFar();
        return mFrontEnd ? errors + mFrontEnd->ErrSoFar() : errors;
    }
    // The back end's calls so far, a line each: "Method options".
    std::string Record() const { return ReadFile(mFolder / "record"); }
    // The setting that puts a program on the session's bus.
    std::string Bus() const { return "DBUS_SESSION_BUS_ADDRESS=" + mSession.BusAddress(); }

private:
    static bool Owned(const std::string& name) {
        return RunProcess({GDBUS, "wait", "--session", "--timeout", "20", name}).exitCode == 0;
    }
    TempFolder mFolder;
    PipeWireSession mSession{SCREENCAST_PORTAL_DIR "/bus.conf"};
    std::unique_ptr<Child> mStore, mBackend, mFrontEnd;
    bool mReady = false;
};

} // namespace testsupport
