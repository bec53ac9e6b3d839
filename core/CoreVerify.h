#pragma once

#include <cstdint>

// Failed expectations are reported as one log line and the code goes on. Both macros yield the
// checked value, so a caller can turn a failure into a result of its own. The report text is
// " code : " and the expression exactly as written: keep report-bearing expressions out of reach
// of the formatter where their spelling matters.
#define VERIFY(expression)                                                                         \
    CoreVerifyCheck(static_cast<bool>(expression), __func__, __FILE__, __LINE__,                   \
                    " code : " #expression)
// The checked value itself, for checks nested inside another report's expression.
#define VERIFIED(expression) VERIFY(expression)
#define VERIFY_ERR(expression)                                                                     \
    CoreVerifyErrCheck((expression), __func__, __FILE__, __LINE__, " code : " #expression)

// "VERIFY FAILED: %s in %s:%d (%s)\n": expression text, file, line, function.
void _CoreMachDebugVerifyBody(const char* function, const char* file, int line,
                              const char* expression);
// "VERIFY_ERR FAILED: OSErr:%d %s in %s:%d (%s)\n": code, expression text, file, line, function.
void _CoreMachDebugVerifyOSerrBody(long error, const char* function, const char* file, int line,
                                   const char* expression);

inline bool CoreVerifyCheck(bool ok, const char* function, const char* file, int line,
                            const char* expression) {
    if (!ok) _CoreMachDebugVerifyBody(function, file, line, expression);
    return ok;
}

template <typename Code>
inline Code CoreVerifyErrCheck(Code error, const char* function, const char* file, int line,
                               const char* expression) {
    if (error != 0) _CoreMachDebugVerifyOSerrBody(long(error), function, file, line, expression);
    return error;
}
