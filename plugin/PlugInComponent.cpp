// The camera component the plug-in reads the channel through.
#include "channel/SharedCameraBundle.h"

#include <unistd.h>

namespace {

// The plug-in was made for a camera component of another maker, "LookpaneXXX.component", and
// uses it when one is installed. Without it, it reads this system's own channel through
// VistrelX64, which the application links into the user's component folder while it
// broadcasts. The choice is made once, at load.
SharedCameraBundle::ComponentName PlugInComponent() {
    for (int location :
         {CFBaseDLL::kUserQuickTime, CFBaseDLL::kSystemQuickTime, CFBaseDLL::kLocalQuickTime}) {
        const CoreURL url =
            CFBaseDLL::URLOfNameInLocation(SharedCameraBundle::kLookpaneXXX.fileName, location);
        if (url && ::access(url->c_str(), R_OK) == 0) return SharedCameraBundle::kLookpaneXXX;
    }
    return SharedCameraBundle::kVistrelX64;
}

} // namespace

SharedCameraBundle SharedCameraBundle::sComponent(PlugInComponent());
