#pragma once

// A PipeWire session of a test's or benchmark's own: its runtime folder, a session bus, pipewire
// and wireplumber, set in this process's environment for the programs it starts; and what
// pw-dump shows of the camera node. The daemons come from scripts/install-deps.sh.
#include "tests/support/TestSupport.h"

#include <chrono>
#include <memory>
#include <sys/stat.h>
#include <thread>

namespace testsupport {

class PipeWireSession {
public:
    static constexpr const char* kTools[] = {DBUS_DAEMON, PIPEWIRE, WIREPLUMBER, PW_DUMP};

    // A bus of the configuration given, else of the standard session's.
    explicit PipeWireSession(const std::string& busConfig = "") {
        ::chmod(mRuntime.Path().c_str(), 0700);
        // PipeWire looks for the bus only as it starts (without it no portal client is ever told
        // apart, and a browser's camera stays hidden): the bus prints its address once it listens.
        mBus = Start({DBUS_DAEMON, busConfig.empty() ? "--session" : "--config-file=" + busConfig,
                      "--nofork", "--print-address=1", "--address=" + mBusAddress});
        mBus->FirstLine();
        StartDaemons();
    }

    void StartDaemons() {
        mPipeWire = Start({PIPEWIRE});
        Eventually([&] { return Exists(mRuntime / "pipewire-0"); }, 5);
        mWirePlumber = Start({WIREPLUMBER});
    }

    void StopDaemons() {
        mWirePlumber.reset();
        mPipeWire.reset();
        ::unlink((mRuntime / "pipewire-0").c_str());
    }

    pid_t DaemonPid() const { return mPipeWire->Pid(); }
    const std::string& BusAddress() const { return mBusAddress; }

    // The properties of the camera node, or "" while there is none.
    static std::string NodeProperties() {
        const std::string dump = RunProcess({PW_DUMP}).out;
        const size_t name = dump.find("\"node.name\": \"vistrel-camera\"");
        if (name == std::string::npos) return "";
        const size_t from = dump.rfind("\"props\": {", name);
        return dump.substr(from, dump.find('}', name) - from);
    }

    static bool NodeShows(int seconds) {
        for (int i = 0; i < seconds * 10; ++i) {
            if (!NodeProperties().empty()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

private:
    TempFolder mRuntime;
    const std::string mBusAddress = "unix:path=" + mRuntime / "bus";
    ScopedEnv mRuntimeDir{"XDG_RUNTIME_DIR", mRuntime.Path().c_str()},
        mSessionBus{"DBUS_SESSION_BUS_ADDRESS", mBusAddress.c_str()};
    std::unique_ptr<Child> mBus, mPipeWire, mWirePlumber;
};

} // namespace testsupport
