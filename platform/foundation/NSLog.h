#pragma once

// The platform's console log call: one line on standard error, "<program>[<pid>] <text>", with
// a newline added when the text has none. printf-style, like the platform's own formats with
// their object placeholders spelled %s.
namespace platform::foundation {

void NSLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace platform::foundation
