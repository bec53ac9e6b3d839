#pragma once

// The video digitizer reached as a capture application reaches it: VistrelXXX linked into the
// user's component folder and opened through the component manager. The channel's writer is the
// built bundle's entry points, loaded with dlopen as a broadcasting application loads them.
#include "channel/SharedCameraFormat.h"
#include "channel/SharedCameraRecords.h"
#include "platform/files/PlatformFiles.h"
#include "platform/quicktime/QuickTime.h"
#include "platform/session/PlatformSession.h"
#include "tests/support/TestSupport.h"
#include "tools/vistrel-channel/TestPattern.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace digitizer_test {

using namespace platform::quicktime;

inline std::string ComponentObject() {
    return testsupport::StagePath(
        "share/vistrel/VistrelXXX.component/Contents/Linux/x86_64/VistrelXXX.so");
}

inline bool IsComponentLoaded() {
    void* handle = ::dlopen(ComponentObject().c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle) ::dlclose(handle);
    return handle != nullptr;
}

// The link a broadcast makes: <user components>/VistrelXXX.component -> the staged bundle.
inline void LinkComponent() {
    std::string folder;
    ASSERT_EQ(platform::files::FindFolder(platform::files::kUserDomain,
                                          platform::files::kQuickTimeComponentsFolderType,
                                          platform::files::kCreateFolder, folder),
              noErr);
    const std::string link = folder + "/VistrelXXX.component";
    if (!testsupport::Exists(link))
        std::filesystem::create_directory_symlink(
            testsupport::StagePath("share/vistrel/VistrelXXX.component"), link);
}

inline std::string RegionPath() {
    std::string path = SharedCamera::kFileMappingFormat;
    path.replace(path.find("%@"), 2, platform::session::ConsoleUserName().value_or("?"));
    path.replace(path.find("%s"), 2, SharedCamera::kFrameFormatName);
    return path;
}

// No region and fresh semaphores, as on a machine where nobody ever broadcast.
inline void RemoveChannel() {
    ::unlink(RegionPath().c_str());
    ::unlink((std::string("/dev/shm/sem.") + SharedCamera::kSemaphoreName0).c_str());
    ::unlink((std::string("/dev/shm/sem.") + SharedCamera::kSemaphoreName1).c_str());
}

// The broadcasting side, through the component's seven entry points.
class ChannelWriter {
public:
    ~ChannelWriter() { Unload(); }

    bool Load() {
        mHandle = ::dlopen(ComponentObject().c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!mHandle) return false;
        control = Resolve<SharedCameraControlFn>("__public_fn_");
        bufferN = Resolve<SharedCameraBufferNFn>("__public_fn0");
        setCurrent = Resolve<SharedCameraAddressFn>("__public_fn1");
        current = Resolve<SharedCameraRecordFn>("__public_fn2");
        tryLock = Resolve<SharedCameraAddressFn>("__public_fn3");
        lock = Resolve<SharedCameraAddressFn>("__public_fn4");
        unlock = Resolve<SharedCameraAddressFn>("__public_fn5");
        return control && bufferN && setCurrent && current && tryLock && lock && unlock;
    }

    void Unload() {
        if (mHandle) ::dlclose(mHandle);
        mHandle = nullptr;
    }

    // Creates the region when there is none and allows every connection.
    bool Start() {
        tagSHARED_CAMERA_CONTROL settings{sizeof settings, 1, 0};
        return control(&settings);
    }

    uint8_t* Buffer(int n) {
        tagSHARED_CAMERA_BUFFER record{};
        record.sizeofSHARED_CAMERA_BUFFER = sizeof record;
        return bufferN(n, &record) ? static_cast<uint8_t*>(record.frameBufferPtr) : nullptr;
    }

    // One frame of the test pattern into buffer n, made current, as a broadcast writes it.
    bool Publish(int n, uint32_t counter) {
        uint8_t* buffer = Buffer(n);
        if (!buffer || !lock(buffer)) return false;
        TestPattern::Draw(buffer, SharedCamera::kFrameWidth, SharedCamera::kFrameHeight,
                          SharedCamera::kFrameRowBytes, counter);
        unlock(buffer);
        return setCurrent(buffer);
    }

    SharedCameraControlFn control = nullptr;
    SharedCameraBufferNFn bufferN = nullptr;
    SharedCameraAddressFn setCurrent = nullptr;
    SharedCameraRecordFn current = nullptr;
    SharedCameraAddressFn tryLock = nullptr;
    SharedCameraAddressFn lock = nullptr;
    SharedCameraAddressFn unlock = nullptr;

private:
    template <typename Fn> Fn Resolve(const char* name) {
        return reinterpret_cast<Fn>(::dlsym(mHandle, name));
    }

    void* mHandle = nullptr;
};

// The allowance word of the region, written as another process would see it written.
inline bool SetAllowance(uint32_t value) {
    const int fd = ::open(RegionPath().c_str(), O_WRONLY);
    if (fd < 0) return false;
    const bool ok = ::pwrite(fd, &value, sizeof value,
                             offsetof(SharedCamera::Region, allowedConnections)) == sizeof value;
    ::close(fd);
    return ok;
}

// What this process writes to its standard error (where the component's log is echoed) while
// the object lives.
class StandardErrorCapture {
public:
    StandardErrorCapture() {
        char path[] = "/tmp/stderr-XXXXXX";
        mFile = ::mkstemp(path);
        ::unlink(path);
        mSaved = ::dup(2);
        ::dup2(mFile, 2);
    }
    ~StandardErrorCapture() {
        ::dup2(mSaved, 2);
        ::close(mSaved);
        ::close(mFile);
    }
    std::string Text() const {
        std::string text;
        char buffer[4096];
        for (off_t at = 0;;) {
            const ssize_t n = ::pread(mFile, buffer, sizeof buffer, at);
            if (n <= 0) break;
            text.append(buffer, size_t(n));
            at += n;
        }
        return text;
    }
    bool Has(const std::string& what) const { return Text().find(what) != std::string::npos; }

private:
    int mFile = -1;
    int mSaved = -1;
};

inline std::string Text(const unsigned char* pascal) {
    return std::string(reinterpret_cast<const char*>(pascal + 1), pascal[0]);
}

// Every case starts with the component linked, no region, and nothing of the component loaded;
// it ends with every instance closed and the component unloaded again.
class Digitizer : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveChannel();
        LinkComponent();
        ASSERT_FALSE(IsComponentLoaded());
    }

    void TearDown() override {
        for (ComponentInstance ci : mOpened)
            CloseComponent(ci);
        writer.Unload();
        EXPECT_FALSE(IsComponentLoaded());
    }

    // The region exists with connections allowed.
    void Broadcast() {
        ASSERT_TRUE(writer.Load());
        ASSERT_TRUE(writer.Start());
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

    // An instance with compression on, handing out a frame on every CompressDone.
    ComponentInstance OpenPreviewing() {
        ComponentInstance ci = Open();
        EXPECT_EQ(VDSetCompressionOnOff(ci, 1), noErr);
        EXPECT_EQ(VDCaptureStateChanging(ci, vdFlagCaptureStarting | vdFlagCaptureIsForPreview),
                  noErr);
        return ci;
    }

    Component TheComponent() {
        ComponentDescription looking{videoDigitizerComponentType, 0, 0, 0, 0};
        return FindNextComponent(nullptr, &looking);
    }

    ChannelWriter writer;

private:
    std::vector<ComponentInstance> mOpened;
};

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

} // namespace digitizer_test
