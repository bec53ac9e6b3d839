#pragma once

// Logs a report of the channel, unless the same text was logged less than kQuietSeconds ago: a
// client that asks again and again for a channel it cannot use must not flood the log.
// Returns whether the text was logged.
bool ChannelReport(const char* format, ...) __attribute__((format(printf, 1, 2)));

constexpr double kChannelReportQuietSeconds = 1.0;
