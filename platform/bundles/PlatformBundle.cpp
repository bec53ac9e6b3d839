#include "platform/bundles/PlatformBundle.h"

#include <dlfcn.h>
#include <sys/stat.h>

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
    if (found.hasInfo) {
        bundle->mInfo = found.info;
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
        mLoadError = "bundle " + mPath + " names no executable";
        return false;
    }
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
