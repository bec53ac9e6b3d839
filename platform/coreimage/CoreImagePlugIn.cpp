#include "platform/coreimage/CoreImagePlugIn.h"

#include "platform/bundles/PlatformBundle.h"
#include "platform/coreimage/CoreImageFilter.h"
#include "platform/foundation/NSLog.h"

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

// Loads a bundle's executable and its loader; the registry's lock is held. Only a loader that
// accepts the host gets its filters registered.
bool LoadPlugIn(Registry& registry, std::unique_ptr<Bundle> bundle) {
    if (!bundle) return false;
    if (bundle->Identifier().empty()) {
        if (!bundle->InfoRefusal().empty())
            platform::foundation::NSLog("CIPlugIn: %s not loaded: %s", bundle->Path().c_str(),
                                        bundle->InfoRefusal().c_str());
        return false;
    }
    if (CIPlugIn::bundleWithIdentifier(bundle->Identifier())) return true;
    if (!bundle->LoadExecutable()) {
        platform::foundation::NSLog("CIPlugIn: %s not loaded: %s", bundle->Path().c_str(),
                                    bundle->LoadError().c_str());
        return false;
    }
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
    plugIn->realExecutable = platform::bundles::RealPath(bundle->ExecutablePath());
    plugIn->bundle = std::move(bundle);
    registry.plugIns.push_back(std::move(plugIn));
    return true;
}

} // namespace

CIPlugInRegistration::~CIPlugInRegistration() = default;

void CIPlugIn::loadAllPlugIns() {
    namespace bundles = platform::bundles;
    Registry& registry = TheRegistry();
    std::lock_guard<std::recursive_mutex> guard(registry.lock);
    for (const bundles::FoundBundle& found :
         bundles::EnumerateBundles(bundles::SearchFolders(bundles::kImageUnitSearch), "plugin"))
        LoadPlugIn(registry, Bundle::Create(found));
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
    const std::string object = platform::bundles::RealPath(info.dli_fname);
    Registry& registry = TheRegistry();
    std::lock_guard<std::recursive_mutex> guard(registry.lock);
    for (const auto& plugIn : registry.plugIns)
        if (!object.empty() && plugIn->realExecutable == object) return plugIn->bundle.get();
    return nullptr;
}

} // namespace platform::coreimage
