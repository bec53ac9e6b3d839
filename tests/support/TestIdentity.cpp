#include "core/CoreLogIdentity.h"
#include "core/CoreMachDebugLog.h"

CORE_DEFINE_LOG_IDENTITY("vistrel-test", "vistrel-test.log");
