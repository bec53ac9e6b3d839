#pragma once

// A camera component reached the way clients reach it: the built bundle object is loaded with
// dlopen and its entry points are found by name. Nothing of the channel is linked in.
#include "channel/SharedCameraFormat.h"
#include "channel/SharedCameraRecords.h"
#include "platform/session/PlatformSession.h"
#include "tests/support/TestSupport.h"

#include <cstdint>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace binding {

inline std::string BundleObject(const std::string& name, const char* arch = "x86_64") {
    return testsupport::StagePath("share/vistrel/" + name + ".component/Contents/Linux/" + arch +
                                  "/" + name + ".so");
}

struct Component {
    void* handle = nullptr;
    SharedCameraControlFn fn_ = nullptr;
    SharedCameraBufferNFn fn0 = nullptr;
    SharedCameraAddressFn fn1 = nullptr;
    SharedCameraRecordFn fn2 = nullptr;
    SharedCameraAddressFn fn3 = nullptr;
    SharedCameraAddressFn fn4 = nullptr;
    SharedCameraAddressFn fn5 = nullptr;

    // Empty when the object does not load or misses an entry point; error says why.
    bool Load(const std::string& path, std::string& error) {
        mPath = path;
        handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            error = ::dlerror();
            return false;
        }
        Resolve(fn_, "__public_fn_", error);
        Resolve(fn0, "__public_fn0", error);
        Resolve(fn1, "__public_fn1", error);
        Resolve(fn2, "__public_fn2", error);
        Resolve(fn3, "__public_fn3", error);
        Resolve(fn4, "__public_fn4", error);
        Resolve(fn5, "__public_fn5", error);
        return error.empty();
    }

    // True when the object really left the process, taking its state with it.
    bool Unload() {
        if (!handle) return true;
        ::dlclose(handle);
        handle = nullptr;
        void* still = ::dlopen(mPath.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (!still) return true;
        ::dlclose(still);
        return false;
    }

private:
    std::string mPath;

    template <typename Fn> void Resolve(Fn& fn, const char* name, std::string& error) {
        fn = reinterpret_cast<Fn>(::dlsym(handle, name));
        if (!fn) error += std::string(" missing ") + name;
    }
};

// The region file and semaphores every component of this user shares.
inline std::string RegionPath() {
    std::string path = SharedCamera::kFileMappingFormat;
    path.replace(path.find("%@"), 2, platform::session::ConsoleUserName().value_or("?"));
    path.replace(path.find("%s"), 2, SharedCamera::kFrameFormatName);
    return path;
}

// Forgets every trace of the channel, so that a test starts as on a fresh machine.
inline void RemoveChannel() {
    ::unlink(RegionPath().c_str());
    ::unlink((std::string("/dev/shm/sem.") + SharedCamera::kSemaphoreName0).c_str());
    ::unlink((std::string("/dev/shm/sem.") + SharedCamera::kSemaphoreName1).c_str());
}

// A word of the region file as other processes see it; 0xDEADBEEF when the file cannot be read.
inline uint32_t RegionWord(size_t offset) {
    uint32_t word = 0xDEADBEEF;
    const int fd = ::open(RegionPath().c_str(), O_RDONLY);
    if (fd < 0) return word;
    if (::pread(fd, &word, sizeof word, off_t(offset)) != sizeof word) word = 0xDEADBEEF;
    ::close(fd);
    return word;
}

constexpr size_t kTagOffset = offsetof(SharedCamera::Region, currentBufferTag);
constexpr size_t kAllowanceOffset = offsetof(SharedCamera::Region, allowedConnections);

} // namespace binding
