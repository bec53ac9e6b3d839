// The component manager: registration, search, instances, the parameter block, and component
// bundles found in the component folders.
#include "platform/quicktime/QuickTimeComponents.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <string>
#include <vector>

using namespace platform::quicktime;
namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------------------------------------
// A component registered from code, which records what reaches it

struct Recorder {
    int opens = 0;
    int closes = 0;
    long countSeenWhileOpening = -1;
    ComponentResult refuseOpenWith = noErr;
    uint8_t paramSize = 0;
    std::vector<long> slots;
    short a = 0;
    long b = 0;
    Boolean c = 0;
    Rect* r = nullptr;
    Component d = nullptr;
};
Recorder sRecorder;

struct Storage {
    ComponentInstance self;
};

ComponentResult Open(ComponentInstance self) {
    ++sRecorder.opens;
    sRecorder.countSeenWhileOpening = CountComponentInstances(Component(self));
    SetComponentInstanceStorage(self, reinterpret_cast<Handle>(new Storage{self}));
    return sRecorder.refuseOpenWith;
}

ComponentResult Close(Storage* storage, ComponentInstance self) {
    ++sRecorder.closes;
    if (!storage || !(storage->self == self)) return paramErr;
    delete storage;
    return noErr;
}

ComponentResult CanDo(short selector) {
    return selector == 1 || (selector >= kComponentVersionSelect && selector < 0);
}

ComponentResult Version(Storage*) {
    return 0x10002;
}

ComponentResult Echo(Storage*, short a, long b, Boolean c, Rect* r, Component d) {
    sRecorder.a = a;
    sRecorder.b = b;
    sRecorder.c = c;
    sRecorder.r = r;
    sRecorder.d = d;
    return 7;
}

ComponentResult RecordingDispatch(ComponentParameters* params, Handle storage) {
    sRecorder.paramSize = params->paramSize;
    sRecorder.slots.assign(params->params, params->params + params->paramSize / sizeof(long) + 1);
    switch (params->what) {
    case kComponentOpenSelect:
        return CallComponentFunction(params, Open);
    case kComponentCloseSelect:
        return CallComponentFunctionWithStorage(storage, params, Close);
    case kComponentCanDoSelect:
        return CallComponentFunction(params, CanDo);
    case kComponentVersionSelect:
        return CallComponentFunctionWithStorage(storage, params, Version);
    case 1:
        return CallComponentFunctionWithStorage(storage, params, Echo);
    default:
        return badComponentSelector;
    }
}

Component RegisterRecorder(OSType type, OSType subType = FourCC("sub "),
                           OSType manufacturer = FourCC("test"), uint32_t flags = 0) {
    ComponentDescription cd{type, subType, manufacturer, flags, 0};
    return RegisterComponent(&cd, RecordingDispatch, 0, nullptr, nullptr, nullptr);
}

class ComponentManager : public ::testing::Test {
protected:
    void SetUp() override { sRecorder = Recorder{}; }
};

TEST_F(ComponentManager, ParametersTravelLastFirstFollowedByTheInstance) {
    const Component component = RegisterRecorder(FourCC("tstP"));
    ComponentInstance ci = nullptr;
    ASSERT_EQ(OpenAComponent(component, &ci), noErr);
    Rect rect{1, 2, 3, 4};
    const long big = long(1) << 40;
    EXPECT_EQ(CallComponent(ci, 1, short(-2), big, Boolean(1), &rect, component), 7);
    EXPECT_EQ(sRecorder.paramSize, 5 * sizeof(long));
    ASSERT_EQ(sRecorder.slots.size(), 6u);
    EXPECT_EQ(sRecorder.slots[0], long(component.Id()));
    EXPECT_EQ(sRecorder.slots[1], reinterpret_cast<long>(&rect));
    EXPECT_EQ(sRecorder.slots[2], 1);
    EXPECT_EQ(sRecorder.slots[3], big);
    EXPECT_EQ(sRecorder.slots[4], -2);
    EXPECT_EQ(sRecorder.slots[5], long(ci.Id()));
    // The handler gets them back in its own order and types.
    EXPECT_EQ(sRecorder.a, -2);
    EXPECT_EQ(sRecorder.b, big);
    EXPECT_EQ(sRecorder.c, 1);
    EXPECT_EQ(sRecorder.r, &rect);
    EXPECT_TRUE(sRecorder.d == component);
    // A block that does not carry the handler's parameters is refused, not misread.
    EXPECT_EQ(CallComponent(ci, 1, short(1)), paramErr);
    EXPECT_EQ(CloseComponent(ci), noErr);
}

TEST_F(ComponentManager, InstancesAreCountedWithTheOneBeingOpened) {
    const Component component = RegisterRecorder(FourCC("tstI"));
    EXPECT_EQ(CountComponentInstances(component), 0);
    const ComponentInstance first = OpenComponent(component);
    ASSERT_TRUE(first);
    EXPECT_EQ(sRecorder.countSeenWhileOpening, 1);
    const ComponentInstance second = OpenComponent(component);
    ASSERT_TRUE(second);
    EXPECT_EQ(sRecorder.countSeenWhileOpening, 2);
    EXPECT_FALSE(first == second);
    EXPECT_EQ(CountComponentInstances(component), 2);
    // An instance stands for its component.
    EXPECT_EQ(CountComponentInstances(Component(first)), 2);
    EXPECT_NE(GetComponentInstanceStorage(first), nullptr);
    EXPECT_NE(GetComponentInstanceStorage(first), GetComponentInstanceStorage(second));

    EXPECT_EQ(CloseComponent(first), noErr);
    EXPECT_EQ(CountComponentInstances(component), 1);
    EXPECT_EQ(CloseComponent(first), invalidComponentID);
    EXPECT_EQ(CallComponent(first, 1, short(0), 0L, Boolean(0), (Rect*)nullptr, component),
              badComponentInstance);
    EXPECT_EQ(CloseComponent(second), noErr);
    EXPECT_EQ(sRecorder.closes, 2);
    EXPECT_EQ(CountComponentInstances(component), 0);
}

TEST_F(ComponentManager, ARefusedOpenIsClosedAndLeavesNoInstance) {
    const Component component = RegisterRecorder(FourCC("tstR"));
    sRecorder.refuseOpenWith = -2202;
    ComponentInstance ci = nullptr;
    EXPECT_EQ(OpenAComponent(component, &ci), -2202);
    EXPECT_FALSE(ci);
    // The close released what the open had set up.
    EXPECT_EQ(sRecorder.closes, 1);
    EXPECT_EQ(CountComponentInstances(component), 0);
    EXPECT_FALSE(OpenComponent(component));
}

TEST_F(ComponentManager, CanDoAndVersionAreTheComponentsAnswers) {
    const Component component = RegisterRecorder(FourCC("tstC"));
    const ComponentInstance ci = OpenComponent(component);
    ASSERT_TRUE(ci);
    EXPECT_EQ(CallComponentCanDo(ci, 1), 1);
    EXPECT_EQ(ComponentFunctionImplemented(ci, kComponentVersionSelect), 1);
    EXPECT_EQ(CallComponentCanDo(ci, 2), 0);
    EXPECT_EQ(GetComponentVersion(ci), 0x10002);
    EXPECT_EQ(CallComponent(ci, 99), badComponentSelector);
    CloseComponent(ci);
}

TEST_F(ComponentManager, SearchesMatchWildcardsAndFlagsInRegistrationOrder) {
    const OSType type = FourCC("tstF");
    const Component a = RegisterRecorder(type, FourCC("aaaa"), FourCC("appl"), 0x1);
    const Component b = RegisterRecorder(type, FourCC("bbbb"), FourCC("appl"), 0x3);
    const Component c = RegisterRecorder(type, FourCC("aaaa"), FourCC("KeyG"), 0x2);

    ComponentDescription any{type, 0, 0, 0, 0};
    std::vector<Component> found;
    for (Component it = FindNextComponent(0, &any); it; it = FindNextComponent(it, &any))
        found.push_back(it);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_TRUE(found[0] == a && found[1] == b && found[2] == c);
    EXPECT_EQ(CountComponents(&any), 3);

    ComponentDescription bySubType{type, FourCC("aaaa"), 0, 0, 0};
    EXPECT_EQ(CountComponents(&bySubType), 2);
    ComponentDescription byMaker{type, FourCC("aaaa"), FourCC("KeyG"), 0, 0};
    EXPECT_TRUE(FindNextComponent(nullptr, &byMaker) == c);
    ComponentDescription byFlag{type, 0, 0, 0x2, 0x2};
    EXPECT_TRUE(FindNextComponent(nullptr, &byFlag) == b);
    EXPECT_TRUE(FindNextComponent(b, &byFlag) == c);

    ComponentDescription info{};
    Handle name = NewHandle(0);
    EXPECT_EQ(GetComponentInfo(b, &info, name, nullptr, nullptr), noErr);
    EXPECT_EQ(info.componentSubType, FourCC("bbbb"));
    EXPECT_EQ(info.componentFlags, 0x3u);
    EXPECT_EQ(GetHandleSize(name), 1);
    DisposeHandle(name);

    const ComponentInstance ci = OpenDefaultComponent(type, FourCC("bbbb"));
    ASSERT_TRUE(ci);
    EXPECT_EQ(CountComponentInstances(b), 1);
    EXPECT_EQ(UnregisterComponent(b), paramErr);
    CloseComponent(ci);
    EXPECT_EQ(UnregisterComponent(b), noErr);
    EXPECT_EQ(CountComponents(&any), 2);
    EXPECT_EQ(GetComponentInfo(b, &info, nullptr, nullptr, nullptr), invalidComponentID);
}

// ---------------------------------------------------------------------------------------------
// Component bundles in the user's component folder

class ComponentBundles : public ::testing::Test {
protected:
    void SetUp() override {
        const char* data = std::getenv("XDG_DATA_HOME");
        ASSERT_TRUE(data && *data);
        mFolder = std::string(data) + "/vistrel/components";
        fs::create_directories(mFolder);
    }
    void TearDown() override {
        for (const std::string& bundle : mBundles)
            testsupport::RemoveTree(bundle);
    }

    // <user components>/<name>.component with the Info.ini text; the test object as its
    // executable unless withObject is false.
    std::string MakeBundle(const std::string& name, const std::string& info,
                           bool withObject = true) {
        const std::string bundle = mFolder + "/" + name + ".component";
        const std::string objects = bundle + "/Contents/Linux/x86_64";
        fs::create_directories(objects);
        testsupport::WriteFile(bundle + "/Contents/Info.ini",
                               "CFBundleExecutable=" + name + "\n" + info);
        if (withObject) fs::create_symlink(VISTREL_QT_TEST_COMPONENT, objects + "/" + name + ".so");
        mBundles.push_back(bundle);
        return objects + "/" + name + ".so";
    }

    static bool IsLoaded(const std::string& object) {
        void* handle = ::dlopen(object.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (handle) ::dlclose(handle);
        return handle != nullptr;
    }

    std::string mFolder;
    std::vector<std::string> mBundles;
};

std::string Text(const unsigned char* pascal) {
    return std::string(reinterpret_cast<const char*>(pascal + 1), pascal[0]);
}

TEST_F(ComponentBundles, ABundleRegistersByItsInfoAndLoadsWhileItHasInstances) {
    const std::string object = MakeBundle("Probe", "ComponentType=tstB\n"
                                                   "ComponentSubType=raw \n"
                                                   "ComponentManufacturer=0x41424344\n"
                                                   "ComponentName=Probe camera\n"
                                                   "ComponentEntryPoint=TestComponentDispatch\n"
                                                   "STR#200.1=first\n"
                                                   "STR#200.2=second\n");
    MakeBundle("Plain", "ComponentEntryPoint=TestComponentDispatch\n");

    ComponentDescription looking{FourCC("tstB"), 0, 0, 0, 0};
    const Component component = FindNextComponent(nullptr, &looking);
    ASSERT_TRUE(component);
    EXPECT_FALSE(FindNextComponent(component, &looking));
    ComponentDescription cd{};
    Handle name = NewHandle(0);
    ASSERT_EQ(GetComponentInfo(component, &cd, name, nullptr, nullptr), noErr);
    EXPECT_EQ(cd.componentSubType, FourCC("raw "));
    EXPECT_EQ(cd.componentManufacturer, 0x41424344u);
    EXPECT_EQ(std::string(*name + 1, size_t((*name)[0])), "Probe camera");
    DisposeHandle(name);

    Str255 text;
    ASSERT_EQ(GetComponentIndString(component, text, 200, 2), noErr);
    EXPECT_EQ(Text(text), "second");
    ASSERT_EQ(GetComponentIndString(component, text, 200, 1), noErr);
    EXPECT_EQ(Text(text), "first");
    EXPECT_EQ(GetComponentIndString(component, text, 200, 3), resNotFound);
    EXPECT_EQ(GetComponentIndString(component, text, 201, 1), resNotFound);

    EXPECT_FALSE(IsLoaded(object));
    ComponentInstance first = OpenComponent(component);
    ASSERT_TRUE(first);
    EXPECT_TRUE(IsLoaded(object));
    EXPECT_EQ(GetComponentVersion(first), 0x10002);
    EXPECT_EQ(CallComponent(first, 1), 1);
    EXPECT_EQ(CallComponent(first, 1), 2);
    CloseComponent(first);
    EXPECT_FALSE(IsLoaded(object));
    // Loaded afresh: the object's state started over.
    first = OpenComponent(component);
    EXPECT_EQ(CallComponent(first, 1), 1);
    CloseComponent(first);

    // A bundle that left the folders is found no more.
    testsupport::RemoveTree(mFolder + "/Probe.component");
    EXPECT_FALSE(FindNextComponent(nullptr, &looking));
}

TEST_F(ComponentBundles, AnObjectThatCannotServeDoesNotOpen) {
    MakeBundle("NoEntry", "ComponentType=tstE\nComponentEntryPoint=NoSuchDispatch\n");
    MakeBundle("NoObject", "ComponentType=tstO\nComponentEntryPoint=TestComponentDispatch\n",
               false);
    ComponentInstance ci = nullptr;
    EXPECT_EQ(OpenADefaultComponent(FourCC("tstE"), 0, &ci), componentDllEntryNotFoundErr);
    EXPECT_EQ(OpenADefaultComponent(FourCC("tstO"), 0, &ci), componentDllLoadErr);
    EXPECT_FALSE(ci);
    EXPECT_EQ(OpenADefaultComponent(FourCC("none"), 0, &ci), invalidComponentID);
    ComponentDescription looking{FourCC("tstE"), 0, 0, 0, 0};
    EXPECT_EQ(CountComponentInstances(FindNextComponent(nullptr, &looking)), 0);
}

} // namespace
