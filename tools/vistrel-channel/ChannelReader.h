#pragma once

#include <atomic>
#include <string>

struct ReadOptions {
    std::string pngPath;    // write the frame as a PNG when set
    double waitSeconds = 0; // keep asking this long for a first frame
    double holdSeconds = 0; // keep the buffer locked this long after reading
};

// Reads the current frame through the reader's wrappers and prints its tag, frame counter and
// checksum. 0 on success, 3 when there is no frame. A stop request ends its waits.
int ReadCurrentFrame(const ReadOptions& options, const std::atomic<bool>& stop);
