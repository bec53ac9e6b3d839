// What the plug-in sets up when its object is loaded: its log identity and output.
#include "core/CoreLogIdentity.h"
#include "core/CoreMachDebugLog.h"

CORE_DEFINE_LOG_IDENTITY(CoreLogIdentity::kPlugInPrefix, "CILookpaneInput.log");

namespace {

[[maybe_unused]] const bool sLoggerSelected = [] {
    CoreMachDebugLogSetUseLogger(kCoreLogToASL);
    return true;
}();

} // namespace
