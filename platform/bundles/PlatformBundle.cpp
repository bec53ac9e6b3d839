#include "platform/bundles/PlatformBundle.h"

#include "platform/bundles/RegularFile.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::bundles {

std::unique_ptr<Bundle> Bundle::Create(const std::string& path) {
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return nullptr;
    FoundBundle found{path, {}, false};
    found.hasInfo = found.info.Read(path + "/Contents/Info.ini");
    return Create(found);
}

std::unique_ptr<Bundle> Bundle::Create(const FoundBundle& found) {
    std::unique_ptr<Bundle> bundle(new Bundle(found.path));
    bundle->mInfo = found.info;
    if (found.hasInfo) {
        bundle->mIdentifier = found.info.Value(BundleInfo::kIdentifierKey);
        bundle->mExecutable = found.info.Value(BundleInfo::kExecutableKey);
    }
    return bundle;
}

Bundle::~Bundle() {
    UnloadExecutable();
}

std::string Bundle::ExecutablePath() const {
    if (mExecutable.empty() || mExecutable.find('/') != std::string::npos) return {};
    return mPath + "/Contents/Linux/" + ArchitectureFolder() + "/" + mExecutable + ".so";
}

std::string Bundle::ResourcePath(const std::string& name, const std::string& type) const {
    if (name.empty() || name.find('/') != std::string::npos || type.find('/') != std::string::npos)
        return {};
    const std::string path =
        mPath + "/Contents/Resources/" + name + (type.empty() ? "" : "." + type);
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? path : std::string();
}

std::string Bundle::InfoValue(const std::string& key) const {
    return mInfo.Value(key);
}

bool Bundle::LoadExecutable() {
    if (mHandle) return true;
    const std::string executable = ExecutablePath();
    if (executable.empty()) {
        mLoadError =
            InfoRefusal().empty() ? "bundle " + mPath + " names no executable" : InfoRefusal();
        return false;
    }
    // Looked at before it is loaded: dlopen would wait for good on a FIFO. It is loaded by its
    // name, not through /proc/self/fd, so that $ORIGIN in its run path is its own folder (the
    // components find the component manager's library through it).
    struct stat looked;
    const int fd = OpenRegularFile(executable, kMaxExecutableBytes, looked, mLoadError);
    if (fd < 0) return false;
    ::close(fd);
    mHandle = ::dlopen(executable.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!mHandle) {
        const char* error = ::dlerror();
        mLoadError = error ? error : "dlopen failed";
    }
    return mHandle != nullptr;
}

void Bundle::UnloadExecutable() {
    if (!mHandle) return;
    ::dlclose(mHandle);
    mHandle = nullptr;
}

void* Bundle::FunctionPointerForName(const char* name) const {
    if (!mHandle || !name) return nullptr;
    return ::dlsym(mHandle, name);
}

} // namespace platform::bundles
