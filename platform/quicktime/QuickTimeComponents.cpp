#include "platform/quicktime/QuickTimeComponents.h"

#include "platform/bundles/BundleFolders.h"
#include "platform/bundles/PlatformBundle.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace platform::quicktime {
namespace {

using platform::bundles::Bundle;
using platform::bundles::BundleInfo;
using platform::bundles::FoundBundle;

struct ComponentRecord {
    ComponentDescription description{};
    // A component of a bundle: where it is, what its Info.ini says, and its object once loaded.
    std::string bundlePath;
    BundleInfo bundleInfo;
    std::string entryPointName;
    std::unique_ptr<Bundle> bundle;
    ComponentRoutine entry = nullptr;
    long instanceCount = 0;
    long refcon = 0;
    bool gone = false; // its bundle left the folders while instances were open
};

struct InstanceRecord {
    uint32_t component = 0;
    Handle storage = nullptr;
};

// Components are kept in registration order, which is the order of their identifiers, so that a
// search can go on from any component even when the registry changed in between.
struct Registry {
    std::recursive_mutex lock;
    std::map<uint32_t, ComponentRecord> components;
    std::map<uint32_t, InstanceRecord> instances;
    uint32_t nextComponent = 0x00010001;
    uint32_t nextInstance = 0x80000001;
    bool scanned = false;
};

// Never destroyed: component objects must not be unloaded behind the back of exit-time code.
Registry& TheRegistry() {
    static Registry* sRegistry = new Registry;
    return *sRegistry;
}

// Four characters ("vdig", "raw "), or a number ("0x76646967").
bool ParseOSType(const std::string& text, OSType& type) {
    if (text.size() == 4) {
        type = OSType(uint8_t(text[0])) << 24 | OSType(uint8_t(text[1])) << 16 |
               OSType(uint8_t(text[2])) << 8 | OSType(uint8_t(text[3]));
        return true;
    }
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || value > UINT32_MAX) return false;
    type = OSType(value);
    return true;
}

bool RecordFromBundle(FoundBundle& bundle, ComponentRecord& record) {
    if (!bundle.hasInfo) return false;
    BundleInfo& info = bundle.info;
    ComponentDescription& cd = record.description;
    if (!ParseOSType(info.Value(component_info::kType), cd.componentType)) return false;
    const std::string subType = info.Value(component_info::kSubType);
    const std::string manufacturer = info.Value(component_info::kManufacturer);
    const std::string flags = info.Value(component_info::kFlags);
    if (!subType.empty() && !ParseOSType(subType, cd.componentSubType)) return false;
    if (!manufacturer.empty() && !ParseOSType(manufacturer, cd.componentManufacturer)) return false;
    if (!flags.empty() && !ParseOSType(flags, cd.componentFlags)) return false;
    record.entryPointName = info.Value(component_info::kEntryPoint);
    if (record.entryPointName.empty()) return false;
    record.bundlePath = bundle.path;
    record.bundleInfo = std::move(info);
    return true;
}

// Registers the bundles that arrived in the component folders since the last look and forgets
// those that left (once their last instance has closed). The lock must be held.
void ScanFolders(Registry& registry) {
    registry.scanned = true;
    std::set<std::string> present;
    namespace bundles = platform::bundles;
    // Component bundles may have any name: every folder there counts.
    for (FoundBundle& bundle :
         bundles::EnumerateBundles(bundles::SearchFolders(bundles::kComponentSearch), {})) {
        present.insert(bundle.path);
        const bool known =
            std::any_of(registry.components.begin(), registry.components.end(),
                        [&](const auto& entry) { return entry.second.bundlePath == bundle.path; });
        ComponentRecord record;
        if (!known && RecordFromBundle(bundle, record))
            registry.components.emplace(registry.nextComponent++, std::move(record));
    }
    for (auto it = registry.components.begin(); it != registry.components.end();) {
        ComponentRecord& record = it->second;
        const bool left = !record.bundlePath.empty() && !present.count(record.bundlePath);
        if (left && record.instanceCount == 0) {
            it = registry.components.erase(it);
            continue;
        }
        record.gone = left;
        ++it;
    }
}

void LookAtFolders(Registry& registry, bool again) {
    if (again || !registry.scanned) ScanFolders(registry);
}

// The identifier of the component itself, or of an instance's component; 0 when neither is
// registered. The lock must be held.
uint32_t ComponentIdOf(const Registry& registry, uint32_t id) {
    if (registry.components.count(id)) return id;
    auto instance = registry.instances.find(id);
    if (instance == registry.instances.end()) return 0;
    return registry.components.count(instance->second.component) ? instance->second.component : 0;
}

ComponentRecord* Resolve(Registry& registry, uint32_t id) {
    const uint32_t component = ComponentIdOf(registry, id);
    return component ? &registry.components.at(component) : nullptr;
}

bool Matches(const ComponentDescription& cd, const ComponentDescription* looking) {
    if (!looking) return true;
    return (!looking->componentType || looking->componentType == cd.componentType) &&
           (!looking->componentSubType || looking->componentSubType == cd.componentSubType) &&
           (!looking->componentManufacturer ||
            looking->componentManufacturer == cd.componentManufacturer) &&
           (cd.componentFlags & looking->componentFlagsMask) ==
               (looking->componentFlags & looking->componentFlagsMask);
}

OSErr LoadComponent(ComponentRecord& record) {
    if (record.entry) return noErr;
    // The metadata it was registered by, not whatever the file says now.
    record.bundle = Bundle::Create(FoundBundle{record.bundlePath, record.bundleInfo, true});
    if (!record.bundle || !record.bundle->LoadExecutable()) {
        record.bundle.reset();
        return componentDllLoadErr;
    }
    record.entry = reinterpret_cast<ComponentRoutine>(
        record.bundle->FunctionPointerForName(record.entryPointName.c_str()));
    if (!record.entry) {
        record.bundle.reset();
        return componentDllEntryNotFoundErr;
    }
    return noErr;
}

// Drops an instance; the last one of a bundle's component unloads its object.
void ForgetInstance(ComponentInstance ci) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(registry.lock);
    auto instance = registry.instances.find(ci.Id());
    if (instance == registry.instances.end()) return;
    const uint32_t componentId = instance->second.component;
    registry.instances.erase(instance);
    auto component = registry.components.find(componentId);
    if (component == registry.components.end()) return;
    ComponentRecord& record = component->second;
    if (--record.instanceCount > 0 || record.bundlePath.empty()) return;
    record.entry = nullptr;
    record.bundle.reset();
    if (record.gone) registry.components.erase(component);
}

} // namespace

Component FindNextComponent(Component aComponent, ComponentDescription* looking) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(registry.lock);
    LookAtFolders(registry, !aComponent);
    for (auto it = registry.components.upper_bound(aComponent.Id());
         it != registry.components.end(); ++it) {
        if (!it->second.gone && Matches(it->second.description, looking))
            return Component::FromId(it->first);
    }
    return nullptr;
}

OSErr GetComponentIndString(Component aComponent, Str255 theString, short strListID, short index) {
    if (!theString) return paramErr;
    Registry& registry = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(registry.lock);
    const ComponentRecord* record = Resolve(registry, aComponent.Id());
    if (!record) return invalidComponentID;
    const std::string text =
        record->bundleInfo.Value(component_info::kStringListPrefix + std::to_string(strListID) +
                                 "." + std::to_string(index));
    if (text.empty()) return resNotFound;
    CopyCStringToPascal(text.c_str(), theString);
    return noErr;
}

std::string GetComponentBundlePath(Component aComponent) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(registry.lock);
    const ComponentRecord* record = Resolve(registry, aComponent.Id());
    return record ? record->bundlePath : std::string();
}

OSErr OpenAComponent(Component aComponent, ComponentInstance* ci) {
    if (!ci) return paramErr;
    *ci = nullptr;
    ComponentInstance instance = nullptr;
    {
        Registry& registry = TheRegistry();
        std::lock_guard<std::recursive_mutex> lock(registry.lock);
        LookAtFolders(registry, false);
        const uint32_t componentId = ComponentIdOf(registry, aComponent.Id());
        if (!componentId || registry.components.at(componentId).gone) return invalidComponentID;
        ComponentRecord& record = registry.components.at(componentId);
        if (const OSErr error = LoadComponent(record)) return error;
        // The instance exists (and counts) while the component opens it.
        instance = ComponentInstance::FromId(registry.nextInstance++);
        registry.instances.emplace(instance.Id(), InstanceRecord{componentId, nullptr});
        ++record.instanceCount;
    }
    const ComponentResult result = CallComponent(instance, kComponentOpenSelect, instance);
    if (result != noErr) {
        // A refused open still gets its close, so that whatever the open set up is released.
        CallComponent(instance, kComponentCloseSelect, instance);
        ForgetInstance(instance);
        return OSErr(result);
    }
    *ci = instance;
    return noErr;
}

ComponentInstance OpenComponent(Component aComponent) {
    ComponentInstance ci = nullptr;
    OpenAComponent(aComponent, &ci);
    return ci;
}

OSErr OpenADefaultComponent(OSType componentType, OSType componentSubType, ComponentInstance* ci) {
    if (!ci) return paramErr;
    *ci = nullptr;
    ComponentDescription looking{componentType, componentSubType, 0, 0, 0};
    const Component found = FindNextComponent(nullptr, &looking);
    if (!found) return invalidComponentID;
    return OpenAComponent(found, ci);
}

OSErr CloseComponent(ComponentInstance ci) {
    {
        Registry& registry = TheRegistry();
        std::lock_guard<std::recursive_mutex> lock(registry.lock);
        if (!registry.instances.count(ci.Id())) return invalidComponentID;
    }
    const ComponentResult result = CallComponent(ci, kComponentCloseSelect, ci);
    ForgetInstance(ci);
    return OSErr(result);
}

long CountComponentInstances(Component aComponent) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(registry.lock);
    const ComponentRecord* record = Resolve(registry, aComponent.Id());
    return record ? record->instanceCount : 0;
}

long GetComponentRefcon(Component aComponent) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(registry.lock);
    const ComponentRecord* record = Resolve(registry, aComponent.Id());
    return record ? record->refcon : 0;
}

void SetComponentRefcon(Component aComponent, long theRefcon) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(registry.lock);
    if (ComponentRecord* record = Resolve(registry, aComponent.Id())) record->refcon = theRefcon;
}

Handle GetComponentInstanceStorage(ComponentInstance ci) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(registry.lock);
    auto instance = registry.instances.find(ci.Id());
    return instance == registry.instances.end() ? nullptr : instance->second.storage;
}

void SetComponentInstanceStorage(ComponentInstance ci, Handle storage) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(registry.lock);
    auto instance = registry.instances.find(ci.Id());
    if (instance != registry.instances.end()) instance->second.storage = storage;
}

ComponentResult CallComponentCanDo(ComponentInstance ci, short ftnNumber) {
    const ComponentResult result = CallComponent(ci, kComponentCanDoSelect, ftnNumber);
    return result == badComponentSelector || result == badComponentInstance ? 0 : result;
}

long GetComponentVersion(ComponentInstance ci) {
    return CallComponent(ci, kComponentVersionSelect);
}

Component RegisterComponent(ComponentDescription* cd, ComponentRoutine componentEntryPoint, short,
                            Handle, Handle, Handle) {
    if (!cd || !componentEntryPoint) return nullptr;
    ComponentRecord record;
    record.description = *cd;
    record.entry = componentEntryPoint;
    Registry& registry = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(registry.lock);
    const uint32_t id = registry.nextComponent++;
    registry.components.emplace(id, std::move(record));
    return Component::FromId(id);
}

OSErr UnregisterComponent(Component aComponent) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::recursive_mutex> lock(registry.lock);
    auto component = registry.components.find(aComponent.Id());
    if (component == registry.components.end()) return invalidComponentID;
    if (component->second.instanceCount > 0) return paramErr;
    registry.components.erase(component);
    return noErr;
}

ComponentResult CallComponentWithParameters(ComponentInstance ci, ComponentParameters* params) {
    ComponentRoutine entry = nullptr;
    Handle storage = nullptr;
    {
        Registry& registry = TheRegistry();
        std::lock_guard<std::recursive_mutex> lock(registry.lock);
        auto instance = registry.instances.find(ci.Id());
        if (instance == registry.instances.end()) return badComponentInstance;
        const ComponentRecord* record = Resolve(registry, ci.Id());
        if (!record || !record->entry) return badComponentInstance;
        entry = record->entry;
        storage = instance->second.storage;
    }
    // No lock while the component runs: it calls back into the manager, and a frame call may
    // wait for another thread's release.
    return entry(params, storage);
}

} // namespace platform::quicktime
