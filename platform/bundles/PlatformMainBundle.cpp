#include "platform/bundles/PlatformMainBundle.h"

#include "platform/bundles/BundleFolders.h"

#include <sys/stat.h>
#include <unistd.h>

namespace platform::bundles {
namespace {

std::string Parent(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

const MainBundle& MainBundle::Get() {
    static const MainBundle sMain = ForExecutable("/proc/self/exe");
    return sMain;
}

MainBundle MainBundle::ForExecutable(const std::string& executablePath) {
    MainBundle bundle;
    const std::string executable = RealPath(executablePath);
    if (executable.empty()) return bundle;
    bundle.mExecutableFolder = Parent(executable);
    const std::string name = executable.substr(executable.find_last_of('/') + 1);
    bundle.mIdentifier = name;

    const std::string prefix = Parent(bundle.mExecutableFolder);
    const std::string infoFolder = prefix + "/share/" + name;
    BundleInfo info;
    if (!info.Read(infoFolder + "/Info.ini")) return bundle;

    bundle.mIsInstallTree = true;
    bundle.mIdentifier = info.Value(BundleInfo::kIdentifierKey);
    bundle.mPrefix = prefix;
    const std::string resources = info.Value(BundleInfo::kResourcesKey);
    bundle.mResources = resources.empty() ? infoFolder : RealPath(infoFolder + "/" + resources);
    bundle.mName = bundle.mResources.substr(bundle.mResources.find_last_of('/') + 1);
    return bundle;
}

std::string MainBundle::Beside(const char* relative) const {
    if (!mIsInstallTree || mResources.empty()) return {};
    return mPrefix + relative + mName;
}

std::string MainBundle::PrivateFrameworksFolder() const {
    const std::string base = Beside("/lib/");
    return base.empty() ? base : base + "/Frameworks";
}

std::string MainBundle::SharedFrameworksFolder() const {
    return mResources.empty() ? mResources : mResources + "/SharedFrameworks";
}

std::string MainBundle::BuiltInPlugInsFolder() const {
    const std::string base = Beside("/lib/");
    return base.empty() ? base : base + "/PlugIns";
}

std::string MainBundle::SupportFilesFolder() const {
    return mResources.empty() ? mResources : mResources + "/SharedSupport";
}

std::string MainBundle::ResourcePath(const std::string& name, const std::string& extension) const {
    if (mResources.empty() || name.empty()) return {};
    const std::string path = mResources + "/" + name + "." + extension;
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? path : std::string();
}

} // namespace platform::bundles
