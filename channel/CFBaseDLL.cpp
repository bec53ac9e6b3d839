#include "channel/CFBaseDLL.h"

#include "platform/bundles/PlatformMainBundle.h"
#include "platform/files/PlatformFiles.h"

namespace {

using platform::bundles::MainBundle;

std::string MainBundleFolder(int location) {
    const MainBundle& main = MainBundle::Get();
    switch (location) {
    case CFBaseDLL::kExecutableFolder:
        return main.ExecutableFolder();
    case CFBaseDLL::kPrivateFrameworks:
        return main.PrivateFrameworksFolder();
    case CFBaseDLL::kSharedFrameworks:
        return main.SharedFrameworksFolder();
    case CFBaseDLL::kResources:
        return main.ResourcesFolder();
    case CFBaseDLL::kBuiltInPlugIns:
        return main.BuiltInPlugInsFolder();
    case CFBaseDLL::kSupportFiles:
        return main.SupportFilesFolder();
    default:
        return {};
    }
}

// A last path component that is not a directory: no trailing slash.
std::string AppendName(std::string folder, const char* name) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    std::string last = name;
    while (!last.empty() && last.back() == '/')
        last.pop_back();
    return folder == "/" ? "/" + last : folder + "/" + last;
}

} // namespace

CoreURL CFBaseDLL::URLOfNameInLocation(const char* name, int location) {
    using namespace platform::files;
    if (!name) return std::nullopt;
    switch (location) {
    case kLocalQuickTime:
        return URLOfNameInFindFolder(name, kQuickTimeComponentsFolderType, kLocalDomain, nullptr);
    case kSystemQuickTime:
        return URLOfNameInFindFolder(name, kQuickTimeComponentsFolderType, kSystemDomain, nullptr);
    case kUserQuickTime:
        return URLOfNameInFindFolder(name, kQuickTimeComponentsFolderType, kUserDomain, nullptr);
    case kSystemFrameworks:
        return URLOfNameInFindFolder(name, kFrameworksFolderType, kSystemDomain, nullptr);
    case kLocalFrameworks:
        return URLOfNameInFindFolder(name, kFrameworksFolderType, kLocalDomain, nullptr);
    default:
        break;
    }
    const std::string folder = MainBundleFolder(location);
    if (folder.empty()) return std::nullopt;
    return AppendName(folder, name);
}

CoreURL CFBaseDLL::URLOfNameInFindFolder(const char* name, uint32_t folderType, int16_t domain,
                                         const char* subfolder) {
    using namespace platform::files;
    if (!name) return std::nullopt;
    FSRef folder;
    if (FSFindFolder(domain, folderType, kDontCreateFolder, &folder) != kNoErr) return std::nullopt;
    std::string path = folder.path;
    if (subfolder && *subfolder) path = AppendName(path, subfolder) + "/";
    return AppendName(path, name);
}

bool I_CFBundleDLL::LoadFromURL(const CoreURL& url) {
    if (!url) return false;
    mBundle = platform::bundles::Bundle::Create(*url);
    return mBundle && mBundle->LoadExecutable();
}

bool I_CFBundleDLL::Unload() {
    if (!mBundle) return false;
    mBundle.reset();
    return true;
}
