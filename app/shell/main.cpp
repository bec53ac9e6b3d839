// Vistrel: the screen-region grabber.
#include "app/shell/LaunchRequests.h"
#include "app/shell/MainInterface.h"
#include "app/shell/NSUIFirstClickApp.h"
#include "channel/SharedCameraBundle.h"
#include "core/CoreLogIdentity.h"
#include "core/CoreMachDebugLog.h"

// The camera the application broadcasts through.
SharedCameraBundle SharedCameraBundle::sComponent(SharedCameraBundle::ApplicationComponent());

CORE_DEFINE_LOG_IDENTITY(CoreLogIdentity::kApplicationPrefix, "com.tarnwick.Vistrel.log");

int main(int argc, char** argv) {
    CoreMachDebugLogSetUseLogger(kCoreLogToASL);
    return NSApplicationMain(
        argc, argv, VistrelLaunch(), [] { return std::make_unique<NSUIFirstClickApp>(); },
        LoadMainInterface);
}
