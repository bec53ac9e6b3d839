#include "core/CoreException.h"

#include <cstdarg>
#include <cstdio>

namespace {
char sExceptionText[CoreException::kMessageCapacity];
}

CoreException::CoreException(const char* format, ...) : mMessage(sExceptionText) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(sExceptionText, sizeof sExceptionText, format, args);
    va_end(args);
}
