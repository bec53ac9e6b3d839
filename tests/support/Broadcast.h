#pragma once

// Broadcasts as the tests make them: vistrel-channel publishing its test pattern in another
// process, and the pattern's frames to compare against.
#include "tests/support/ComponentBinding.h"
#include "tools/vistrel-channel/TestPattern.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

namespace broadcast {

inline std::vector<uint8_t> Pattern(uint32_t counter) {
    std::vector<uint8_t> frame(SharedCamera::kFrameSizeBytes);
    TestPattern::Draw(frame.data(), SharedCamera::kFrameWidth, SharedCamera::kFrameHeight,
                      SharedCamera::kFrameRowBytes, counter);
    return frame;
}

inline uint32_t Counter(const uint8_t* frame) {
    return TestPattern::ReadCounter(frame, SharedCamera::kFrameWidth, SharedCamera::kFrameRowBytes);
}

// The counters of frames (or of their counter rows) laid one after another, in order.
inline std::vector<uint32_t> Counters(const std::string& frames, size_t frameBytes) {
    std::vector<uint32_t> counters;
    for (size_t at = 0; at + frameBytes <= frames.size(); at += frameBytes)
        counters.push_back(Counter(reinterpret_cast<const uint8_t*>(frames.data()) + at));
    return counters;
}

inline std::vector<std::string> PublishCommand(const std::vector<std::string>& options) {
    std::vector<std::string> argv = {testsupport::StagePath("bin/vistrel-channel"), "publish"};
    argv.insert(argv.end(), options.begin(), options.end());
    return argv;
}

// A broadcast run to its end.
inline void Publish(const std::vector<std::string>& options) {
    const testsupport::ProcessResult run = testsupport::RunProcess(PublishCommand(options));
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
}

// A broadcast in another process until the end of the scope, once it wrote buffer 0 (the tags
// alternate from the first frame on).
inline std::unique_ptr<testsupport::Child> Publishing(const std::vector<std::string>& options) {
    auto publisher = testsupport::Start(PublishCommand(options));
    testsupport::Eventually(
        [] { return binding::RegionWord(binding::kTagOffset) == SharedCamera::kBufferTag0; }, 10,
        0.01);
    return publisher;
}

// The clients load our plug-ins from the build tree (in sanitizer builds after the runtime, whose
// path the test's target defines).
inline std::vector<std::string> ClientEnvironment() {
    static const testsupport::TempFolder registry;
    return {"GST_PLUGIN_PATH=" + testsupport::StageLibPath("gstreamer-1.0"),
            "GST_REGISTRY=" + registry / "registry.bin",
            "FREI0R_PATH=" + testsupport::StagePath("lib/frei0r-1"),
#ifdef VISTREL_PRELOAD_ASAN
            "LD_PRELOAD=" VISTREL_PRELOAD_ASAN, "ASAN_OPTIONS=detect_leaks=0"
#endif
    };
}

// A program the test runs that scripts/install-deps.sh installs: its absence is a failure.
#define ASSERT_TOOL(path, name)                                                                    \
    ASSERT_EQ(::access(path, X_OK), 0) << name " is missing: scripts/install-deps.sh installs it"

} // namespace broadcast
