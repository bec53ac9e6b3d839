#include "core/CoreMachDebugLog.h"

const char* g_CoreMachDebug_LogPrefix = "vistrel-test";
static char sLogFileName[] = "vistrel-test.log";
char* g_CoreMachDebug_LogFileName = sLogFileName;
