#include "platform/coreimage/CoreImageFilter.h"

#include <mutex>

namespace platform::coreimage {
namespace {

struct Registry {
    std::mutex lock;
    std::map<std::string, CIFilter::Constructor> constructors;
};

// Never destroyed: filters of plug-ins may be made from exit-time code.
Registry& TheRegistry() {
    static Registry* sRegistry = new Registry;
    return *sRegistry;
}

} // namespace

CIFilter::~CIFilter() = default;

std::shared_ptr<CIFilter> CIFilter::filterWithName(const std::string& name) {
    Constructor constructor;
    {
        Registry& registry = TheRegistry();
        std::lock_guard<std::mutex> guard(registry.lock);
        auto found = registry.constructors.find(name);
        if (found == registry.constructors.end()) return nullptr;
        constructor = found->second;
    }
    return constructor ? constructor() : nullptr;
}

void CIFilter::registerFilterName_constructor(const std::string& name, Constructor constructor) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> guard(registry.lock);
    registry.constructors[name] = std::move(constructor);
}

CGRect CIFilter::regionOf_destRect_userInfo(int, CGRect destRect, void*) const {
    return destRect;
}

bool CIFilter::setValue_forKey(std::optional<double> value, const std::string& key) {
    if (customAttributes().count(key) == 0) return false;
    mInputs[key] = value;
    return true;
}

std::optional<double> CIFilter::valueForKey(const std::string& key) const {
    auto found = mInputs.find(key);
    return found == mInputs.end() ? std::nullopt : found->second;
}

} // namespace platform::coreimage
