#pragma once

// A camera component reached the way clients reach it: the built bundle object is loaded with
// dlopen and its entry points are found by name. Nothing of the channel is linked in.
#include "channel/SharedCameraFormat.h"
#include "channel/SharedCameraRecords.h"
#include "platform/session/PlatformSession.h"
#include "tests/support/TestSupport.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace binding {

inline std::string BundleObject(const std::string& name, const char* arch = "x86_64") {
    return testsupport::StageLibPath("vistrel/" + name + ".component/Contents/Linux/" + arch + "/" +
                                     name + ".so");
}

struct Component {
    std::string path;
    void* handle = nullptr;
    SharedCameraControlFn fn_ = nullptr;
    SharedCameraBufferNFn fn0 = nullptr;
    SharedCameraAddressFn fn1 = nullptr, fn3 = nullptr, fn4 = nullptr, fn5 = nullptr;
    SharedCameraRecordFn fn2 = nullptr;

    // False when the object does not load or misses an entry point.
    bool Load(const std::string& object) {
        handle = ::dlopen((path = object).c_str(), RTLD_NOW | RTLD_LOCAL);
#define VISTREL_RESOLVE(fn) (fn = reinterpret_cast<decltype(fn)>(::dlsym(handle, "__public_" #fn)))
        return handle && VISTREL_RESOLVE(fn_) && VISTREL_RESOLVE(fn0) && VISTREL_RESOLVE(fn1) &&
               VISTREL_RESOLVE(fn2) && VISTREL_RESOLVE(fn3) && VISTREL_RESOLVE(fn4) &&
               VISTREL_RESOLVE(fn5);
#undef VISTREL_RESOLVE
    }

    // True when the object really left the process, taking its state with it.
    bool Unload() {
        if (handle) ::dlclose(handle);
        handle = nullptr;
        void* still = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (still) ::dlclose(still);
        return !still;
    }
};

// A record of this build's size, filled with a byte so that any byte written shows.
inline tagSHARED_CAMERA_BUFFER Record(uint32_t size = sizeof(tagSHARED_CAMERA_BUFFER),
                                      int fill = 0) {
    tagSHARED_CAMERA_BUFFER record;
    std::memset(&record, fill, sizeof record);
    record.sizeofSHARED_CAMERA_BUFFER = size;
    return record;
}

inline bool Same(const tagSHARED_CAMERA_BUFFER& a, const tagSHARED_CAMERA_BUFFER& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

inline std::string RegionPath() {
    std::string path = SharedCamera::kFileMappingFormat;
    path.replace(path.find("%@"), 2, platform::session::ConsoleUserName().value_or("?"));
    return path.replace(path.find("%s"), 2, SharedCamera::kFrameFormatName);
}

// A word of the region file as other processes see it; 0xDEADBEEF when there is none.
inline uint32_t RegionWord(size_t offset) {
    const std::string bytes = testsupport::ReadFile(RegionPath());
    uint32_t word = 0xDEADBEEF;
    if (bytes.size() >= offset + 4) std::memcpy(&word, bytes.data() + offset, 4);
    return word;
}

// Puts a value into a file behind every mapping's back, as another process would.
template <typename T> bool PutAt(const std::string& path, size_t offset, T value) {
    const int fd = ::open(path.c_str(), O_WRONLY);
    const bool put =
        fd >= 0 && ::pwrite(fd, &value, sizeof value, off_t(offset)) == ssize_t(sizeof value);
    if (fd >= 0) ::close(fd);
    return put;
}

constexpr size_t kTagOffset = offsetof(SharedCamera::Region, currentBufferTag);
constexpr size_t kAllowanceOffset = offsetof(SharedCamera::Region, allowedConnections);

inline std::string UserLink(const std::string& name = "VistrelX64") {
    return std::string(std::getenv("XDG_DATA_HOME")) + "/vistrel/components/" + name + ".component";
}
inline std::string StagedBundle(const std::string& name = "VistrelX64") {
    return std::filesystem::canonical(testsupport::StageLibPath("vistrel/" + name + ".component"));
}
// Installs a staged component for this user by hand.
inline void LinkComponent(const std::string& name = "VistrelX64") {
    std::filesystem::create_directories(std::filesystem::path(UserLink(name)).parent_path());
    std::filesystem::create_symlink(StagedBundle(name), UserLink(name));
}

// The channel's documented names (the region file, then the two lock records), or the names in
// the private folder it moves to.
inline std::vector<std::string> ChannelNames(bool moved = false) {
    const std::string folder = moved ? std::getenv("XDG_RUNTIME_DIR") : "/dev/shm";
    std::vector<std::string> names{moved ? folder + RegionPath().substr(RegionPath().rfind('/'))
                                         : RegionPath()};
    for (unsigned n : {0, 1})
        names.push_back(folder + "/sem." + SharedCamera::SemaphoreName(n, ::geteuid()));
    return names;
}

// Forgets the channel (at both places) and the user's components, as on a fresh machine.
inline void RemoveChannel() {
    for (bool moved : {false, true})
        for (const std::string& name : ChannelNames(moved))
            ::unlink(name.c_str());
    testsupport::RemoveTree(std::string(std::getenv("XDG_DATA_HOME")) + "/vistrel");
}

} // namespace binding
