// Vistrel: the screen-region grabber.
#include "app/shell/MainInterface.h"
#include "app/shell/NSUIFirstClickApp.h"
#include "core/CoreLogIdentity.h"
#include "core/CoreMachDebugLog.h"

CORE_DEFINE_LOG_IDENTITY(CoreLogIdentity::kApplicationPrefix, "com.tarnwick.Vistrel.log");

int main(int argc, char** argv) {
    CoreMachDebugLogSetUseLogger(kCoreLogToASL);
    return NSApplicationMain(
        argc, argv, [] { return std::make_unique<NSUIFirstClickApp>(); }, LoadMainInterface);
}
