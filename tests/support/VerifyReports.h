#pragma once

// What a call reports through VERIFY, for tests of report texts. The reports go to the system
// log, which echoes them on standard error, where they are captured.
#include "core/CoreMachDebugLog.h"
#include "tests/support/TestSupport.h"

#include <functional>
#include <string>

namespace testsupport {

inline std::string VerifyReports(const std::function<void()>& call) {
    CoreMachDebugLogSetUseLogger(kCoreLogToASL);
    return CaptureStandardError(call);
}

// Whether the reports hold the check of `expression`, and when `function` is given, from it.
inline bool VerifyReported(const std::string& reports, const std::string& expression,
                           const std::string& function = "") {
    const std::string line = "VERIFY FAILED:  code : " + expression + " in ";
    const size_t at = reports.find(line);
    if (at == std::string::npos) return false;
    if (function.empty()) return true;
    const size_t end = reports.find('\n', at);
    return reports.substr(at, end - at).find("(" + function + ")") != std::string::npos;
}

} // namespace testsupport
