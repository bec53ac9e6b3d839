#pragma once

#include <atomic>
#include <cstdint>

// Publishes the test pattern through the application's frame writer, as a broadcast does.
struct PublishOptions {
    double framesPerSecond = 30;
    double seconds = 0;  // 0: until frames or a stop request
    uint64_t frames = 0; // 0: until seconds or a stop request
    bool allowConnections = true;
    bool install = true; // link the component into the user's folder for the duration
};

// 0 on success; prints what it did.
int PublishTestPattern(const PublishOptions& options, const std::atomic<bool>& stop);
