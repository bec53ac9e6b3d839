// The video digitizer of VistrelXXX through its dispatcher: which selectors it answers, who may
// open it, and what the selectors do.
#include "tests/component/DigitizerTestSupport.h"

#include <fcntl.h>
#include <set>

using namespace digitizer_test;

namespace {

// Records that cross the component boundary keep the platform's sizes.
static_assert(sizeof(ImageDescription) == 86 && sizeof(VDCompressionList) == 148);
static_assert(sizeof(DigitizerInfo) == 34 + 2 * sizeof(GDHandle));
static_assert(sizeof(TimeCodeDef) == 16 && sizeof(TimeCodeRecord) == 4 && sizeof(Rect) == 8);

const std::set<int> kSupported = {
    -1,   -2,   -3,   -4,   0x01, 0x02, 0x03, 0x04, 0x05, 0x0C, 0x0D, 0x0E, 0x0F, 0x10,
    0x11, 0x12, 0x13, 0x14, 0x15, 0x19, 0x1A, 0x29, 0x2A, 0x37, 0x38, 0x39, 0x3A, 0x3B,
    0x3C, 0x3D, 0x3E, 0x3F, 0x40, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C,
    0x4D, 0x4E, 0x51, 0x54, 0x55, 0x58, 0x5B, 0x5C, 0x5E, 0x5F, 0x60, 0x61, 0x100};

// The allowance word of the region, written as another process would write it.
bool SetAllowance(uint32_t value) {
    const int fd = ::open(binding::RegionPath().c_str(), O_WRONLY);
    const bool ok = fd >= 0 && ::pwrite(fd, &value, 4, binding::kAllowanceOffset) == 4;
    if (fd >= 0) ::close(fd);
    return ok;
}

// The description of the device's frames at a digitizer rectangle of width by height.
ImageDescription DeviceDescription(int16_t width, int16_t height) {
    // clang-format off
    ImageDescription d{86, FourCC("raw "), 0, 0, 0, /*version*/ 2, 0, int32_t(FourCC("appl")),
        /*qualities*/ 0, codecLosslessQuality, width, height, /*resolutions*/ 0x480000, 0x480000,
        /*dataSize*/ 1228800, /*frameCount*/ 1, /*name*/ {}, /*depth*/ 32, /*clutID*/ -1};
    // clang-format on
    CopyCStringToPascal("Vistrel ARGB", d.name);
    return d;
}

// The description handed out, with its encoded size, is the expected one.
bool HasDescription(ComponentInstance ci, const ImageDescription& expected) {
    auto desc = reinterpret_cast<ImageDescriptionHandle>(NewHandle(0));
    SInt32 encoded[2] = {};
    const bool got = VDGetImageDescription(ci, desc) == noErr;
    for (int i : {0, 1})
        ICMImageDescriptionGetProperty(desc, kQTPropertyClass_ImageDescription,
                                       i ? kICMImageDescriptionPropertyID_EncodedHeight
                                         : kICMImageDescriptionPropertyID_EncodedWidth,
                                       4, &encoded[i], nullptr);
    const bool same = got && GetHandleSize(reinterpret_cast<Handle>(desc)) == 86 &&
                      std::memcmp(*desc, &expected, 86) == 0 && encoded[0] == expected.width &&
                      encoded[1] == expected.height;
    DisposeHandle(reinterpret_cast<Handle>(desc));
    return same;
}

TEST_F(Digitizer, AnswersExactlyTheSupportedSelectors) {
    Broadcast();
    const ComponentInstance ci = Open();
    EXPECT_EQ(GetComponentVersion(ci), 0x20001);
    std::vector<int> selectors = {0x4446, int16_t(0x8046), -100};
    for (int selector = -16; selector < 0x200; ++selector)
        selectors.push_back(selector);
    for (int selector : selectors) {
        SCOPED_TRACE(selector);
        const bool supported = kSupported.count(selector);
        EXPECT_EQ(CallComponentCanDo(ci, short(selector)), supported ? 1 : 0);
        if (!supported) {
            EXPECT_EQ(CallComponent(ci, int16_t(selector)), badComponentSelector);
        }
    }
}

TEST_F(Digitizer, OpensOnlyOnARegionThatAllowsTheConnection) {
    ComponentInstance ci = nullptr;
    EXPECT_EQ(TryOpen(ci), paramErr);
    EXPECT_FALSE(testsupport::Exists(binding::RegionPath())); // the reader never creates it

    Broadcast();
    ASSERT_TRUE(SetAllowance(0xFFFFFFFF));
    EXPECT_EQ(TryOpen(ci), paramErr);
    ASSERT_TRUE(SetAllowance(0));
    std::vector<ComponentInstance> many(5);
    for (ComponentInstance& each : many)
        ASSERT_EQ(TryOpen(each), noErr);
    for (ComponentInstance each : many)
        Close(each);

    ASSERT_TRUE(SetAllowance(2));
    ComponentInstance first = nullptr, second = nullptr;
    EXPECT_EQ(TryOpen(first), noErr);
    EXPECT_EQ(TryOpen(second), noErr);
    EXPECT_EQ(TryOpen(ci), paramErr);
    EXPECT_EQ(CountComponentInstances(Component(first)), 2);
    Close(first);
    EXPECT_EQ(TryOpen(ci), noErr);
}

// The host's identity and the system version are the process's, so each try is a program.
TEST_F(Digitizer, HostsAndSystemsThatMayNotOpen) {
    Broadcast();
    testsupport::TempFolder tree;
    const std::string host = tree / "bin/capture-host";
    std::filesystem::create_directories(tree / "bin");
    std::filesystem::create_directories(tree / "share/capture-host");
    std::filesystem::copy_file(VISTREL_OPEN_PROBE, host);
    const auto run = [&](const std::string& identifier, const char* version = "0x1040") {
        testsupport::WriteFile(tree / "share/capture-host/Info.ini",
                               "CFBundleIdentifier=" + identifier + "\n");
        return testsupport::RunProcess({host}, {std::string("VISTREL_SYSTEM_VERSION=") + version})
            .out;
    };
    EXPECT_EQ(run("com.example.Capture"), "open 0 instances 1\n");
    EXPECT_EQ(run("COM.APPLE.ICHAT"), "open -50 instances 0\n");
    EXPECT_EQ(run("com.Tarnwick.lenticor"), "open -50 instances 0\n");
    EXPECT_EQ(run("com.apple.iChatAgent"), "open 0 instances 1\n");
    EXPECT_EQ(run("com.example.Capture", "0x1030"), "open -50 instances 0\n");
}

TEST_F(Digitizer, TheDigitizerRectangleSizesTheCompressedDescription) {
    Broadcast();
    const ComponentInstance ci = Open();
    const Rect full{0, 0, 480, 640};
    Rect rect{};
    EXPECT_EQ(VDGetMaxSrcRect(ci, ntscIn, &rect), noErr);
    EXPECT_TRUE(MacEqualRect(&rect, &full));
    EXPECT_EQ(VDGetMaxSrcRect(ci, palIn, &rect), qtParamErr);
    // Each refusal is the check that names its reason.
    for (auto [refused, reason] :
         {std::pair<Rect, const char*>{{0, 0, 480, 641}, "MacEqualRect(inDigitizerRect, "},
          {{10, 10, 10, 100}, "!EmptyRect(inDigitizerRect)"},
          {{500, 0, 600, 10}, "SectRect(inDigitizerRect, &(_maxSrcRect), &intersectionRect)"}}) {
        SCOPED_TRACE(reason);
        const std::string err =
            StandardError([&] { EXPECT_EQ(VDSetDigitizerRect(ci, &refused), qtParamErr); });
        EXPECT_NE(err.find(std::string("VERIFY FAILED:  code : ") + reason), std::string::npos)
            << err;
    }
    EXPECT_EQ(VDGetDigitizerRect(ci, &rect), noErr);
    EXPECT_TRUE(MacEqualRect(&rect, &full));
    EXPECT_TRUE(HasDescription(ci, DeviceDescription(640, 480)));

    Rect inside{10, 10, 100, 100};
    ASSERT_EQ(VDSetDigitizerRect(ci, &inside), noErr);
    EXPECT_EQ(VDSetCompression(ci, 0, 0, nullptr, 0, 0, 0), badCallOrderErr); // compression off
    ASSERT_EQ(VDSetCompressionOnOff(ci, 1), noErr);
    EXPECT_EQ(VDSetCompression(ci, FourCC("yuv2"), 32, nullptr, 0, 0, 0), noCodecErr);
    EXPECT_EQ(VDSetCompression(ci, 0, 0, nullptr, 0, 0, 0), noErr);
    EXPECT_TRUE(HasDescription(ci, DeviceDescription(90, 90)));
}

TEST_F(Digitizer, FrameCallsNeedCompressionOn) {
    Broadcast();
    ASSERT_TRUE(Publish(writer, 0, 1));
    const ComponentInstance ci = Open();
    TimeRecord at{};
    TimeCodeDef def{};
    TimeCodeRecord record{};
    const auto refused = [&] {
        EXPECT_EQ(VDCompressOneFrameAsync(ci), badCallOrderErr);
        const Frame frame = CompressDone(ci);
        EXPECT_EQ(frame.result, badCallOrderErr);
        EXPECT_TRUE(frame.queued == 0 && frame.data == nullptr && frame.size == 0);
        EXPECT_EQ(VDReleaseCompressBuffer(ci, Buffer(writer, 0)), badCallOrderErr);
        EXPECT_EQ(VDGetTimeCode(ci, &at, &def, &record), badCallOrderErr);
    };
    refused();
    EXPECT_EQ(VDSetCompressionOnOff(ci, 1), noErr);
    EXPECT_EQ(VDSetCompressionOnOff(ci, 1), noErr);
    EXPECT_EQ(VDCompressOneFrameAsync(ci), noErr);
    EXPECT_EQ(VDGetTimeCode(ci, &at, &def, &record), noErr);
    EXPECT_EQ(VDSetCompressionOnOff(ci, 0), noErr);
    refused();
}

TEST_F(Digitizer, FrameRateAndDataRate) {
    Broadcast();
    const ComponentInstance ci = Open();
    const auto bytesPerSecond = [&] {
        long ms = -1, bytes = -1;
        Fixed fps = 0;
        EXPECT_EQ(VDGetDataRate(ci, &ms, &fps, &bytes), noErr);
        EXPECT_TRUE(ms == 0 && fps == 0x1E0000) << ms << " " << fps; // whatever rate was set
        return bytes;
    };
    EXPECT_EQ(bytesPerSecond(), 0); // no rate set yet
    EXPECT_EQ(VDSetFrameRate(ci, -1), noErr);
    EXPECT_EQ(bytesPerSecond(), 1228800L * 30);
    EXPECT_EQ(VDSetFrameRate(ci, 0x0F0000), noErr);
    EXPECT_EQ(bytesPerSecond(), 1228800L * 15);
    EXPECT_EQ(VDSetFrameRate(ci, 0x1DF852), noErr);
    EXPECT_EQ(bytesPerSecond(), 36827138L); // 1228800 x 29.97, rounded
    const std::string err = StandardError([&] { EXPECT_EQ(VDSetFrameRate(ci, 0x3D0000), noErr); });
    EXPECT_NE(err.find("code : inFramesPerSecond <= 2*kPreferredVideoFrameRate in "),
              std::string::npos)
        << err;
    EXPECT_EQ(bytesPerSecond(), 1228800L * 61);
    EXPECT_EQ(VDSetFrameRate(ci, -2), qtParamErr);
    EXPECT_EQ(bytesPerSecond(), 1228800L * 61);
}

TEST_F(Digitizer, CompressionListNamesAndInfo) {
    Broadcast();
    const ComponentInstance ci = Open();
    VDCompressionList expected{nullptr, FourCC("raw "), {}, {}, 0x20, 0x20, 0};
    CopyCStringToPascal("Vistrel ARGB", expected.typeName);
    CopyCStringToPascal("Vistrel ARGB", expected.name);
    Handle h = NewHandle(0);
    auto list = reinterpret_cast<VDCompressionListHandle>(h);
    ASSERT_EQ(VDGetCompressionTypes(ci, list), noErr);
    ASSERT_EQ(GetHandleSize(h), 148);
    EXPECT_EQ(std::memcmp(*h, &expected, 148), 0);
    EXPECT_EQ(HGetState(h) & kHandleLockedBit, 0);

    // With the platform's uncompressed codec registered (not another maker's), the entry names it.
    const auto codec = [](ComponentParameters*, Handle) -> ComponentResult { return noErr; };
    ComponentDescription foreign{compressorComponentType, FourCC("raw "), FourCC("KeyG"), 0, 0};
    ComponentDescription apple{compressorComponentType, FourCC("raw "), FourCC("appl"), 0, 0};
    const Component other = RegisterComponent(&foreign, codec, 0, nullptr, nullptr, nullptr);
    expected.codec = RegisterComponent(&apple, codec, 0, nullptr, nullptr, nullptr);
    std::memset(expected.typeName, 0, 128);
    CopyCStringToPascal("Uncompressed 8-bit ARGB", expected.typeName);
    CopyCStringToPascal("Uncompressed 8-bit ARGB", expected.name);
    HLock(h);
    ASSERT_EQ(VDGetCompressionTypes(ci, list), noErr);
    EXPECT_EQ(std::memcmp(*h, &expected, 148), 0);
    EXPECT_NE(HGetState(h) & kHandleLockedBit, 0);
    UnregisterComponent(expected.codec);
    UnregisterComponent(other);
    DisposeHandle(h);

    Str255 name;
    EXPECT_EQ(VDGetInputName(ci, 1, name), noErr); // another input is reported but still named
    EXPECT_EQ(std::string(reinterpret_cast<char*>(name + 1), name[0]), "Vistrel (ARGB)");
    UInt64 ids[2] = {42, 7};
    EXPECT_EQ(VDSelectUniqueIDs(ci, &ids[0], &ids[1]), noErr);
    EXPECT_EQ(VDGetUniqueIDs(ci, &ids[0], &ids[1]), noErr);
    EXPECT_TRUE(ids[0] == 0x0DEF0DEF0DEF0001u && ids[1] == 1u) << std::hex << ids[0];
    const int32_t in = int32_t(0x80001401), out = int32_t(0x98000038);
    const DigitizerInfo expectedInfo{0,       in, out, in,  out, 0, nullptr,
                                     nullptr, 0,  0,   480, 640, 0, 0};
    DigitizerInfo info;
    std::memset(&info, 0xA5, sizeof info);
    ASSERT_EQ(VDGetDigitizerInfo(ci, &info), noErr);
    EXPECT_EQ(std::memcmp(&info, &expectedInfo, sizeof info), 0);
}

} // namespace
