// The component manager: the parameter block, instances, searches, and component bundles in the
// user's component folder.
#include "platform/quicktime/QuickTimeComponents.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

using namespace platform::quicktime;

namespace {

// Dispatchers built against the platform's headers read the block at these places.
static_assert(offsetof(ComponentParameters, paramSize) == 1 &&
              offsetof(ComponentParameters, what) == 2 &&
              offsetof(ComponentParameters, params) == sizeof(long));

// What reaches a component registered from code.
struct Seen {
    int closes = 0;
    long countWhileOpening = -1;
    ComponentResult openResult = noErr;
    std::vector<long> slots;
    std::tuple<short, long, Boolean, Rect*, Component> echo{};
} sSeen;

ComponentResult Open(ComponentInstance self) {
    sSeen.countWhileOpening = CountComponentInstances(Component(self));
    SetComponentInstanceStorage(self, reinterpret_cast<Handle>(new ComponentInstance(self)));
    return sSeen.openResult;
}

ComponentResult Close(ComponentInstance* storage, ComponentInstance self) {
    ++sSeen.closes;
    const ComponentResult result = storage && *storage == self ? noErr : paramErr; // as opened
    delete storage;
    return result;
}

ComponentResult Echo(ComponentInstance*, short a, long b, Boolean c, Rect* r, Component d) {
    sSeen.echo = {a, b, c, r, d};
    return 7;
}

ComponentResult Dispatch(ComponentParameters* params, Handle storage) {
    sSeen.slots.assign(params->params, params->params + params->paramSize / sizeof(long) + 1);
    if (params->what == kComponentOpenSelect) return CallComponentFunction(params, Open);
    if (params->what == kComponentCloseSelect)
        return CallComponentFunctionWithStorage(storage, params, Close);
    if (params->what == 1) return CallComponentFunctionWithStorage(storage, params, Echo);
    return badComponentSelector;
}

Component Register(OSType type, OSType subType = FourCC("sub "), OSType maker = FourCC("test"),
                   uint32_t flags = 0) {
    sSeen = Seen{};
    ComponentDescription cd{type, subType, maker, flags, 0};
    return RegisterComponent(&cd, Dispatch, 0, nullptr, nullptr, nullptr);
}

TEST(ComponentManager, InstancesAndTheirParameterBlocks) {
    const Component component = Register(FourCC("tstI"));
    const ComponentInstance first = OpenComponent(component);
    ASSERT_TRUE(first);
    EXPECT_EQ(sSeen.countWhileOpening, 1); // the one being opened counts
    Rect rect{1, 2, 3, 4};
    const long big = long(1) << 40;
    EXPECT_EQ(CallComponent(first, 1, short(-2), big, Boolean(1), &rect, component), 7);
    // The parameters travel last first, followed by the instance.
    const std::vector<long> slots = {
        long(component.Id()), reinterpret_cast<long>(&rect), 1, big, -2, long(first.Id())};
    EXPECT_EQ(sSeen.slots, slots);
    EXPECT_TRUE(sSeen.echo == std::make_tuple(short(-2), big, Boolean(1), &rect, component));
    // A block that does not carry the handler's parameters is refused, not misread.
    EXPECT_EQ(CallComponent(first, 1, short(1)), paramErr);

    const ComponentInstance second = OpenComponent(component);
    EXPECT_EQ(sSeen.countWhileOpening, 2); // (counted through the instance, as for its component)
    EXPECT_EQ(CloseComponent(first), noErr);
    EXPECT_EQ(CloseComponent(second), noErr);
    // A refused open is closed, so that the component releases what the open set up.
    sSeen.openResult = -2202;
    ComponentInstance refused = nullptr;
    EXPECT_EQ(OpenAComponent(component, &refused), -2202);
    EXPECT_FALSE(refused);
    EXPECT_EQ(sSeen.closes, 3);
    EXPECT_EQ(CountComponentInstances(component), 0);
}

TEST(ComponentManager, SearchesMatchWildcardsAndFlagsInRegistrationOrder) {
    const OSType type = FourCC("tstF");
    const Component a = Register(type, FourCC("aaaa"), FourCC("appl"), 0x1);
    const Component b = Register(type, FourCC("bbbb"), FourCC("appl"), 0x3);
    const Component c = Register(type, FourCC("aaaa"), FourCC("KeyG"), 0x2);
    ComponentDescription any{type, 0, 0, 0, 0};
    EXPECT_TRUE(FindNextComponent(nullptr, &any) == a && FindNextComponent(a, &any) == b &&
                FindNextComponent(b, &any) == c && !FindNextComponent(c, &any));
    ComponentDescription bySubType{type, FourCC("aaaa"), 0, 0, 0};
    EXPECT_TRUE(FindNextComponent(a, &bySubType) == c);
}

// Bundles in the user's component folder, with the test object as their executable.
std::string Folder() {
    return std::string(std::getenv("XDG_DATA_HOME")) + "/vistrel/components";
}

std::string MakeBundle(const std::string& name, const std::string& info, bool withObject = true) {
    const std::string objects = Folder() + "/" + name + ".component/Contents/Linux/x86_64";
    std::filesystem::create_directories(objects);
    testsupport::WriteFile(objects + "/../../Info.ini", "CFBundleExecutable=" + name + "\n" + info);
    if (withObject)
        std::filesystem::create_symlink(VISTREL_QT_TEST_COMPONENT, objects + "/" + name + ".so");
    return objects + "/" + name + ".so";
}

TEST(ComponentBundles, RegisteredByTheirInfoAndLoadedOnlyWhenOpened) {
    const std::string object = MakeBundle(
        "Probe", "ComponentType=tstB\nComponentSubType=raw \n"
                 "ComponentManufacturer=0x41424344\nComponentEntryPoint=TestComponentDispatch\n");
    ComponentDescription looking{FourCC("tstB"), FourCC("raw "), 0x41424344, 0, 0};
    const Component component = FindNextComponent(nullptr, &looking);
    ASSERT_TRUE(component);
    EXPECT_FALSE(FindNextComponent(component, &looking));
    EXPECT_EQ(GetComponentRefcon(component), 0);
    EXPECT_EQ(GetComponentBundlePath(component), Folder() + "/Probe.component");
    // (A string the bundle has is read in the digitizer's tests; one it lacks is refused.)
    Str255 text;
    EXPECT_EQ(GetComponentIndString(component, text, 200, 1), resNotFound);

    EXPECT_EQ(::dlopen(object.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << "loaded unasked";
    // (That the object is unloaded with its last instance, the refcon kept, is the digitizer's.)
    ComponentInstance ci = OpenComponent(component);
    EXPECT_EQ(CallComponent(ci, 1), 1);
    CloseComponent(ci);
    testsupport::RemoveTree(Folder() + "/Probe.component");
    EXPECT_FALSE(FindNextComponent(nullptr, &looking));

    MakeBundle("NoEntry", "ComponentType=tstE\nComponentEntryPoint=NoSuchDispatch\n");
    MakeBundle("NoObject", "ComponentType=tstO\nComponentEntryPoint=TestComponentDispatch\n",
               false);
    ci = nullptr;
    EXPECT_EQ(OpenADefaultComponent(FourCC("tstE"), 0, &ci), componentDllEntryNotFoundErr);
    EXPECT_EQ(OpenADefaultComponent(FourCC("tstO"), 0, &ci), componentDllLoadErr);
    EXPECT_EQ(OpenADefaultComponent(FourCC("none"), 0, &ci), invalidComponentID);
    EXPECT_FALSE(ci);
    looking = {FourCC("tstE"), 0, 0, 0, 0};
    EXPECT_EQ(CountComponentInstances(FindNextComponent(nullptr, &looking)), 0);
    testsupport::RemoveTree(Folder());
}

} // namespace
