// What a camera component does when it is loaded into a process, before anything calls it: the
// statics below are initialised in this order.
#include "channel/SharedGWorldMemory.h"
#include "component/CoreDebugBundleLogFileName.h"

namespace {
// Logs go to the system log under the host's name before anything can report.
CoreDebugBundleLogFileName sLogFileName;
} // namespace

CoreUserFileName SharedGWorldMemory::sFileMappingPath(SharedCamera::kFileMappingFormat,
                                                      SharedCamera::kFrameFormatName);
SharedGWorldMemory SharedGWorldMemory::sSingleton;
