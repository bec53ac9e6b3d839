#include "core/CoreVerify.h"

#include "core/CoreMachDebugLog.h"

void _CoreMachDebugVerifyBody(const char* function, const char* file, int line,
                              const char* expression) {
    CoreMachDebugLog("VERIFY FAILED: %s in %s:%d (%s)\n", expression, file, line, function);
}

void _CoreMachDebugVerifyOSerrBody(long error, const char* function, const char* file, int line,
                                   const char* expression) {
    CoreMachDebugLog("VERIFY_ERR FAILED: OSErr:%ld %s in %s:%d (%s)\n", error, expression, file,
                     line, function);
}
