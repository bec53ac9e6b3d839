#pragma once

// The video digitizer reached as a capture application reaches it: VistrelXXX linked into the
// user's component folder and opened through the component manager. The channel's writer is the
// same bundle object's entry points, loaded with dlopen as a broadcasting application loads them.
#include "platform/quicktime/QuickTime.h"
#include "tests/support/ComponentBinding.h"
#include "tools/vistrel-channel/TestPattern.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <vector>

namespace digitizer_test {

using namespace platform::quicktime;

inline std::string ComponentObject() {
    return binding::BundleObject("VistrelXXX");
}

inline Ptr Buffer(const binding::Component& writer, int n) {
    tagSHARED_CAMERA_BUFFER record = binding::Record();
    return writer.fn0(n, &record) ? static_cast<Ptr>(record.frameBufferPtr) : nullptr;
}

// One frame of the test pattern into buffer n, made current, as a broadcast writes it.
inline bool Publish(const binding::Component& writer, int n, uint32_t counter) {
    const Ptr buffer = Buffer(writer, n);
    if (!buffer || !writer.fn4(buffer)) return false;
    TestPattern::Draw(reinterpret_cast<uint8_t*>(buffer), SharedCamera::kFrameWidth,
                      SharedCamera::kFrameHeight, SharedCamera::kFrameRowBytes, counter);
    writer.fn5(buffer);
    return writer.fn1(buffer);
}

// What a call writes to standard error, where the component's log is echoed.
inline std::string StandardError(const std::function<void()>& call) {
    return testsupport::CaptureStandardError(call);
}

struct Frame {
    VideoDigitizerError result = -1;
    UInt8 queued = 0xEE;
    Ptr data = reinterpret_cast<Ptr>(1);
    long size = -1;
    TimeRecord time{};
};

inline Frame CompressDone(ComponentInstance ci) {
    Frame frame;
    UInt8 similarity = 0xEE;
    frame.result =
        VDCompressDone(ci, &frame.queued, &frame.data, &frame.size, &similarity, &frame.time);
    return frame;
}

// Every case starts with the component linked as a broadcast links it, no region, and nothing
// of the component loaded; it ends with every instance closed and the component unloaded again.
class Digitizer : public ::testing::Test {
protected:
    void SetUp() override {
        binding::RemoveChannel();
        const std::string folder =
            std::string(std::getenv("XDG_DATA_HOME")) + "/vistrel/components";
        std::filesystem::create_directories(folder);
        std::filesystem::create_directory_symlink(
            testsupport::StagePath("share/vistrel/VistrelXXX.component"),
            folder + "/VistrelXXX.component");
    }
    void TearDown() override {
        for (ComponentInstance ci : mOpened)
            CloseComponent(ci);
        writer.path = ComponentObject(); // also when the case never loaded it itself
        EXPECT_TRUE(writer.Unload()) << "the component stayed loaded";
    }

    // The region exists with every connection allowed.
    void Broadcast() {
        ASSERT_TRUE(writer.Load(ComponentObject()));
        tagSHARED_CAMERA_CONTROL settings{sizeof settings, 1, 0};
        ASSERT_TRUE(writer.fn_(&settings));
    }
    OSErr TryOpen(ComponentInstance& ci) {
        const OSErr err = OpenADefaultComponent(videoDigitizerComponentType, 0, &ci);
        if (err == noErr) mOpened.push_back(ci);
        return err;
    }
    ComponentInstance Open() {
        ComponentInstance ci = nullptr;
        EXPECT_EQ(TryOpen(ci), noErr);
        return ci;
    }
    void Close(ComponentInstance ci) {
        EXPECT_EQ(CloseComponent(ci), noErr);
        std::erase(mOpened, ci);
    }
    // Compression on, previewing: every CompressDone hands out a frame.
    ComponentInstance OpenPreviewing() {
        const ComponentInstance ci = Open();
        EXPECT_EQ(VDSetCompressionOnOff(ci, 1), noErr);
        EXPECT_EQ(VDCaptureStateChanging(ci, vdFlagCaptureStarting | vdFlagCaptureIsForPreview),
                  noErr);
        return ci;
    }

    binding::Component writer;

private:
    std::vector<ComponentInstance> mOpened;
};

} // namespace digitizer_test
