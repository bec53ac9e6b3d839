#include "platform/coreimage/CoreImagePlugIn.h"

#include "platform/bundles/PlatformBundle.h"
#include "platform/coreimage/CoreImageFilter.h"
#include "platform/files/PlatformFiles.h"

#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <dlfcn.h>
#include <memory>
#include <mutex>
#include <vector>

namespace platform::coreimage {
namespace {

using platform::bundles::Bundle;

struct LoadedPlugIn {
    std::unique_ptr<Bundle> bundle;
    std::unique_ptr<CIPlugInRegistration> loader;
    std::string realExecutable;
};

struct Registry {
    std::recursive_mutex lock;
    std::vector<std::unique_ptr<LoadedPlugIn>> plugIns;
};

// Never destroyed, and the objects never unloaded: filters may outlive every other static.
Registry& TheRegistry() {
    static Registry* sRegistry = new Registry;
    return *sRegistry;
}

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

template <typename Function> Function Export(const Bundle& bundle, const std::string& name) {
    return reinterpret_cast<Function>(bundle.FunctionPointerForName(name.c_str()));
}

std::vector<std::string> Names(const std::string& list) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        const std::string name = list.substr(start, comma - start);
        if (!name.empty()) names.push_back(name);
        start = comma + 1;
    }
    return names;
}

void RegisterFilters(const Bundle& bundle) {
    for (const std::string& name : Names(bundle.InfoValue(kCIPlugInFilterListKey))) {
        using Factory = CIFilter* (*)();
        Factory factory = Export<Factory>(bundle, name + kCIClassFactorySuffix);
        if (!factory) continue;
        CIFilter::registerFilterName_constructor(
            name, [factory] { return std::shared_ptr<CIFilter>(factory()); });
    }
}

std::vector<std::string> PlugInFolders() {
    std::vector<std::string> folders;
    for (auto domain : {files::kUserDomain, files::kLocalDomain, files::kSystemDomain}) {
        std::string folder;
        if (files::FindFolder(domain, files::kImageUnitsFolderType, files::kDontCreateFolder,
                              folder) == files::kNoErr)
            folders.push_back(folder);
    }
    return folders;
}

} // namespace

CIPlugInRegistration::~CIPlugInRegistration() = default;

bool CIPlugIn::loadPlugIn_allowExecutableCode(const std::string& path, bool allowExecutableCode) {
    if (!allowExecutableCode) return false;
    Registry& registry = TheRegistry();
    std::lock_guard<std::recursive_mutex> guard(registry.lock);
    std::unique_ptr<Bundle> bundle = Bundle::Create(path);
    if (!bundle || bundle->Identifier().empty()) return false;
    if (bundleWithIdentifier(bundle->Identifier())) return true;
    if (!bundle->LoadExecutable()) return false;

    if (auto init = Export<void (*)()>(*bundle, kCIPlugInInitFunction)) init();
    using LoaderFactory = CIPlugInRegistration* (*)();
    const std::string loaderClass = bundle->InfoValue(kCIPlugInLoaderClassKey);
    auto makeLoader = Export<LoaderFactory>(*bundle, loaderClass + kCIClassFactorySuffix);
    auto plugIn = std::make_unique<LoadedPlugIn>();
    plugIn->loader.reset(makeLoader ? makeLoader() : nullptr);
    if (!plugIn->loader || !plugIn->loader->load(&registry)) {
        plugIn->loader.reset(); // its code goes with the bundle
        return false;
    }
    RegisterFilters(*bundle);
    plugIn->realExecutable = RealPath(bundle->ExecutablePath());
    plugIn->bundle = std::move(bundle);
    registry.plugIns.push_back(std::move(plugIn));
    return true;
}

void CIPlugIn::loadAllPlugIns() {
    for (const std::string& folder : PlugInFolders()) {
        DIR* dir = ::opendir(folder.c_str());
        if (!dir) continue;
        std::vector<std::string> bundles;
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            constexpr std::string_view kExtension = ".plugin";
            if (name.size() > kExtension.size() &&
                name.compare(name.size() - kExtension.size(), kExtension.size(), kExtension) == 0)
                bundles.push_back(folder + "/" + name);
        }
        ::closedir(dir);
        for (const std::string& path : bundles)
            loadPlugIn_allowExecutableCode(path, true);
    }
}

const Bundle* CIPlugIn::bundleWithIdentifier(const std::string& identifier) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::recursive_mutex> guard(registry.lock);
    for (const auto& plugIn : registry.plugIns)
        if (plugIn->bundle->Identifier() == identifier) return plugIn->bundle.get();
    return nullptr;
}

const Bundle* CIPlugIn::bundleForAddress(const void* address) {
    Dl_info info;
    if (!address || !::dladdr(address, &info) || !info.dli_fname) return nullptr;
    const std::string object = RealPath(info.dli_fname);
    Registry& registry = TheRegistry();
    std::lock_guard<std::recursive_mutex> guard(registry.lock);
    for (const auto& plugIn : registry.plugIns)
        if (!object.empty() && plugIn->realExecutable == object) return plugIn->bundle.get();
    return nullptr;
}

} // namespace platform::coreimage
