#pragma once

// The component manager. Components are found in the component folders (user, system, local):
// every bundle there whose Contents/Info.ini names a ComponentType and a ComponentEntryPoint (the
// exported dispatcher) is registered, with its description, name and string lists
// ("STR#<list>.<index>=text"). The folders are looked at again whenever a search starts. A
// bundle's object is loaded when its first instance opens and unloaded when the last one closes.
// Components can also be registered from code (RegisterComponent).
//
// A call reaches a component as a parameter block: the 16-bit selector ("what"), the size of the
// parameters in bytes, and one long slot per parameter in reverse order (params[0] holds the last
// argument), followed by the instance. The component unpacks it with CallComponentFunction or
// CallComponentFunctionWithStorage, whose handler's own parameter list says how.
#include "platform/quicktime/QuickTimeMemory.h"

#include <concepts>
#include <cstddef>
#include <new>
#include <string>
#include <type_traits>
#include <utility>

namespace platform::quicktime {

using ComponentResult = int32_t;

constexpr ComponentResult badComponentInstance = ComponentResult(0x80008001);
constexpr ComponentResult badComponentSelector = ComponentResult(0x80008002);

class ComponentInstance {
public:
    ComponentInstance() = default;
    constexpr ComponentInstance(std::nullptr_t) : mId(0) {}
    static constexpr ComponentInstance FromId(uint32_t id) {
        ComponentInstance instance(nullptr);
        instance.mId = id;
        return instance;
    }
    constexpr uint32_t Id() const { return mId; }
    explicit constexpr operator bool() const { return mId != 0; }
    friend constexpr bool operator==(ComponentInstance, ComponentInstance) = default;

private:
    uint32_t mId;
};

// A registered component, as a 32-bit identifier. An instance may be cast to it: calls that take
// a component then act on the instance's component.
class Component {
public:
    Component() = default;
    constexpr Component(std::nullptr_t) : mId(0) {}
    explicit constexpr Component(ComponentInstance instance) : mId(instance.Id()) {}
    static constexpr Component FromId(uint32_t id) {
        Component component(nullptr);
        component.mId = id;
        return component;
    }
    constexpr uint32_t Id() const { return mId; }
    explicit constexpr operator bool() const { return mId != 0; }
    friend constexpr bool operator==(Component, Component) = default;

private:
    uint32_t mId;
};
static_assert(sizeof(Component) == 4 && std::is_trivially_copyable_v<Component>);

struct ComponentDescription {
    OSType componentType;
    OSType componentSubType;
    OSType componentManufacturer;
    uint32_t componentFlags;
    uint32_t componentFlagsMask;
};
static_assert(sizeof(ComponentDescription) == 20);

struct ComponentParameters {
    uint8_t flags;
    uint8_t paramSize;
    int16_t what;
    long params[];
};
static_assert(offsetof(ComponentParameters, params) == sizeof(long));

using ComponentRoutine = ComponentResult (*)(ComponentParameters* params, Handle storage);

// Standard selectors every component may answer.
enum : int16_t {
    kComponentOpenSelect = -1,
    kComponentCloseSelect = -2,
    kComponentCanDoSelect = -3,
    kComponentVersionSelect = -4,
    kComponentRegisterSelect = -5,
    kComponentTargetSelect = -6,
    kComponentUnregisterSelect = -7,
};

// A zero type, subtype or manufacturer matches anything; flags match under the mask.
QT_API Component FindNextComponent(Component aComponent, ComponentDescription* looking);
QT_API OSErr GetComponentIndString(Component aComponent, Str255 theString, short strListID,
                                   short index);
// The bundle folder a component was registered from, so that a caller can reach what the bundle
// carries beside its dispatcher; empty for a component registered from code.
QT_API std::string GetComponentBundlePath(Component aComponent);

QT_API OSErr OpenAComponent(Component aComponent, ComponentInstance* ci);
QT_API ComponentInstance OpenComponent(Component aComponent);
QT_API OSErr OpenADefaultComponent(OSType componentType, OSType componentSubType,
                                   ComponentInstance* ci);
QT_API OSErr CloseComponent(ComponentInstance ci);
// Open instances of the component (or of an instance's component), including one being opened.
QT_API long CountComponentInstances(Component aComponent);
// A value the component keeps for itself across its instances; it outlives them, and the loading
// and unloading of the component's object. 0 until the component sets it.
QT_API long GetComponentRefcon(Component aComponent);
QT_API void SetComponentRefcon(Component aComponent, long theRefcon);
QT_API Handle GetComponentInstanceStorage(ComponentInstance ci);
QT_API void SetComponentInstanceStorage(ComponentInstance ci, Handle storage);

QT_API ComponentResult CallComponentCanDo(ComponentInstance ci, short ftnNumber);
QT_API long GetComponentVersion(ComponentInstance ci);

QT_API Component RegisterComponent(ComponentDescription* cd, ComponentRoutine componentEntryPoint,
                                   short global, Handle componentName, Handle componentInfo,
                                   Handle componentIcon);
// paramErr while instances are open.
QT_API OSErr UnregisterComponent(Component aComponent);

// Hands a filled parameter block to the instance's component; badComponentInstance when the
// instance is not open.
QT_API ComponentResult CallComponentWithParameters(ComponentInstance ci,
                                                   ComponentParameters* params);

// ---------------------------------------------------------------------------------------------
// Parameter slots

template <typename T>
concept ComponentIdentifier = requires(T t) {
    { T::FromId(uint32_t()) } -> std::same_as<T>;
    { t.Id() } -> std::convertible_to<uint32_t>;
};

template <typename T> long ToParameterSlot(T value) {
    if constexpr (std::is_pointer_v<T>)
        return reinterpret_cast<long>(value);
    else if constexpr (ComponentIdentifier<T>)
        return long(value.Id());
    else
        return static_cast<long>(value);
}

template <typename T> T FromParameterSlot(long slot) {
    if constexpr (std::is_pointer_v<T>)
        return reinterpret_cast<T>(slot);
    else if constexpr (ComponentIdentifier<T>)
        return T::FromId(uint32_t(slot));
    else
        return static_cast<T>(slot);
}

// The host's side: packs the arguments as the platform does and calls the component.
template <typename... Args>
ComponentResult CallComponent(ComponentInstance ci, int16_t what, Args... args) {
    constexpr size_t kCount = sizeof...(Args);
    static_assert(kCount * sizeof(long) <= 255, "too many parameters for one block");
    alignas(ComponentParameters) unsigned char
        block[sizeof(ComponentParameters) + (kCount + 1) * sizeof(long)];
    ComponentParameters* params = new (block) ComponentParameters{};
    params->paramSize = uint8_t(kCount * sizeof(long));
    params->what = what;
    const long slots[] = {ToParameterSlot(args)..., ToParameterSlot(ci)};
    for (size_t i = 0; i < kCount; ++i)
        params->params[kCount - 1 - i] = slots[i];
    params->params[kCount] = slots[kCount];
    return CallComponentWithParameters(ci, params);
}

// The component's side: calls a handler with the block's parameters, unpacked by the handler's
// own parameter types. paramErr when the block does not carry exactly that many parameters.
template <typename... Args>
ComponentResult CallComponentFunction(ComponentParameters* params,
                                      ComponentResult (*function)(Args...)) {
    constexpr size_t kCount = sizeof...(Args);
    if (!params || params->paramSize != kCount * sizeof(long)) return paramErr;
    return [&]<size_t... I>(std::index_sequence<I...>) {
        return function(FromParameterSlot<Args>(params->params[kCount - 1 - I])...);
    }
    (std::index_sequence_for<Args...>{});
}

// As CallComponentFunction, with the instance storage (of whatever pointer type the handler
// declares) as the handler's first argument.
template <typename Storage, typename... Args>
ComponentResult CallComponentFunctionWithStorage(Handle storage, ComponentParameters* params,
                                                 ComponentResult (*function)(Storage, Args...)) {
    static_assert(std::is_pointer_v<Storage>, "instance storage is a pointer");
    constexpr size_t kCount = sizeof...(Args);
    if (!params || params->paramSize != kCount * sizeof(long)) return paramErr;
    return [&]<size_t... I>(std::index_sequence<I...>) {
        return function(reinterpret_cast<Storage>(storage),
                        FromParameterSlot<Args>(params->params[kCount - 1 - I])...);
    }
    (std::index_sequence_for<Args...>{});
}

// The keys a component bundle's Info.ini carries.
namespace component_info {
constexpr const char* kType = "ComponentType";
constexpr const char* kSubType = "ComponentSubType";
constexpr const char* kManufacturer = "ComponentManufacturer";
constexpr const char* kFlags = "ComponentFlags";
constexpr const char* kEntryPoint = "ComponentEntryPoint";
// "STR#<list>.<index>", index counted from 1.
constexpr const char* kStringListPrefix = "STR#";
} // namespace component_info

} // namespace platform::quicktime
