// The video digitizer of VistrelXXX through its dispatcher: which selectors it answers, who may
// open it, and what each selector does.
#include "tests/component/DigitizerTestSupport.h"

#include <set>

using namespace digitizer_test;

namespace {

const std::set<int> kSupported = {-1,   -2,   -3,   -4,   0x01, 0x02, 0x03, 0x04, 0x05, 0x0C, 0x0D,
                                  0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x19, 0x1A, 0x29,
                                  0x2A, 0x37, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x40,
                                  0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E,
                                  0x51, 0x54, 0x55, 0x58, 0x5B, 0x5C, 0x5E, 0x5F, 0x60, 0x61};

// ---------------------------------------------------------------------------------------------
// The dispatcher

TEST_F(Digitizer, CanDoExactlyTheSupportedSelectors) {
    Broadcast();
    const ComponentInstance ci = Open();
    EXPECT_EQ(kSupported.size(), 54u);
    for (int selector = -16; selector < 0x200; ++selector)
        EXPECT_EQ(CallComponentCanDo(ci, short(selector)), kSupported.count(selector) ? 1 : 0)
            << std::hex << selector;
    EXPECT_EQ(CallComponentCanDo(ci, 0x46), 1);
    EXPECT_EQ(CallComponentCanDo(ci, 0x16), 0);
    EXPECT_EQ(CallComponentCanDo(ci, 0x62), 0);
    EXPECT_EQ(CallComponentCanDo(ci, short(0x8046)), 0);
    EXPECT_EQ(GetComponentVersion(ci), 0x20001);
}

TEST_F(Digitizer, UnsupportedSelectorsAreBadComponentSelectors) {
    Broadcast();
    const ComponentInstance ci = Open();
    for (int selector : {-5, -6, -7, -100, 0x00, 0x06, 0x16, 0x50, 0x62, 0x7F, 0xFF, 0x101, 0x146,
                         0x4446, -0x7FBA})
        EXPECT_EQ(CallComponent(ci, int16_t(selector)), badComponentSelector)
            << std::hex << selector;
}

// ---------------------------------------------------------------------------------------------
// Opening

TEST_F(Digitizer, NoOpenWithoutTheRegion) {
    ComponentInstance ci = nullptr;
    EXPECT_EQ(TryOpen(ci), paramErr);
    EXPECT_FALSE(ci);
    EXPECT_EQ(CountComponentInstances(TheComponent()), 0);
    // The reader never creates the region.
    EXPECT_FALSE(testsupport::Exists(RegionPath()));
}

TEST_F(Digitizer, TheAllowanceLimitsOpenInstances) {
    Broadcast();
    ComponentInstance ci = nullptr;
    ASSERT_TRUE(SetAllowance(0xFFFFFFFF));
    EXPECT_EQ(TryOpen(ci), paramErr);

    ASSERT_TRUE(SetAllowance(0));
    std::vector<ComponentInstance> many;
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(TryOpen(ci), noErr) << i;
        many.push_back(ci);
    }
    for (ComponentInstance each : many)
        Close(each);

    ASSERT_TRUE(SetAllowance(2));
    ComponentInstance first = nullptr, second = nullptr, third = nullptr;
    EXPECT_EQ(TryOpen(first), noErr);
    EXPECT_EQ(TryOpen(second), noErr);
    EXPECT_EQ(TryOpen(third), paramErr);
    EXPECT_EQ(CountComponentInstances(TheComponent()), 2);
    Close(first);
    EXPECT_EQ(TryOpen(third), noErr);
}

// A host is refused by its identity and by the system version; each runs as its own program.
TEST_F(Digitizer, HostsAndSystemsThatMayNotOpen) {
    Broadcast();
    testsupport::TempFolder tree;
    const std::string host = tree / "bin/capture-host";
    std::filesystem::create_directories(tree / "bin");
    std::filesystem::create_directories(tree / "share/capture-host");
    std::filesystem::copy_file(VISTREL_OPEN_PROBE, host);
    const auto run = [&](const std::string& identifier,
                         const std::vector<std::string>& environment = {}) {
        testsupport::WriteFile(tree / "share/capture-host/Info.ini",
                               "CFBundleIdentifier=" + identifier + "\n");
        const testsupport::ProcessResult result = testsupport::RunProcess({host}, environment);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return result.out;
    };
    EXPECT_EQ(run("com.example.Capture"), "open 0 instances 1\n");
    EXPECT_EQ(run("COM.APPLE.ICHAT"), "open -50 instances 0\n");
    EXPECT_EQ(run("com.Tarnwick.lenticor"), "open -50 instances 0\n");
    EXPECT_EQ(run("com.apple.iChatAgent"), "open 0 instances 1\n");
    EXPECT_EQ(run("com.example.Capture", {"VISTREL_SYSTEM_VERSION=0x1030"}),
              "open -50 instances 0\n");
    EXPECT_EQ(run("com.example.Capture", {"VISTREL_SYSTEM_VERSION=0x1040"}),
              "open 0 instances 1\n");
}

// ---------------------------------------------------------------------------------------------
// Selectors

TEST_F(Digitizer, SourceAndDigitizerRectangles) {
    Broadcast();
    const ComponentInstance ci = Open();
    const Rect full{0, 0, 480, 640};
    Rect rect{};
    EXPECT_EQ(VDGetMaxSrcRect(ci, ntscIn, &rect), noErr);
    EXPECT_TRUE(MacEqualRect(&rect, &full));
    EXPECT_EQ(VDGetMaxSrcRect(ci, palIn, &rect), qtParamErr);
    rect = Rect{};
    EXPECT_EQ(VDGetActiveSrcRect(ci, ntscIn, &rect), noErr);
    EXPECT_TRUE(MacEqualRect(&rect, &full));
    EXPECT_EQ(VDGetActiveSrcRect(ci, ntscReallyIn, &rect), qtParamErr);
    rect = Rect{};
    EXPECT_EQ(VDGetDigitizerRect(ci, &rect), noErr);
    EXPECT_TRUE(MacEqualRect(&rect, &full));
    EXPECT_EQ(VDGetDigitizerRect(ci, nullptr), qtParamErr);
    const Rect zero{0, 0, 0, 0};
    rect = Rect{1, 2, 3, 4};
    EXPECT_EQ(VDGetVBlankRect(ci, ntscIn, &rect), noErr);
    EXPECT_TRUE(MacEqualRect(&rect, &zero));

    struct Refusal {
        Rect rect;
        const char* report;
    } refusals[] = {
        {{0, 0, 480, 641}, " code : MacEqualRect(inDigitizerRect, &intersectionRect) in "},
        {{10, 10, 10, 100}, " code : !EmptyRect(inDigitizerRect) in "},
        {{500, 0, 600, 10}, " code : SectRect(inDigitizerRect, &(_maxSrcRect), &intersectionRect)"},
    };
    for (Refusal& refusal : refusals) {
        StandardErrorCapture err;
        EXPECT_EQ(VDSetDigitizerRect(ci, &refusal.rect), qtParamErr) << refusal.report;
        EXPECT_TRUE(err.Has(std::string("VERIFY FAILED: ") + refusal.report)) << err.Text();
        EXPECT_TRUE(err.Has("(SetDigitizerRect)")) << err.Text();
    }
    EXPECT_EQ(VDSetDigitizerRect(ci, nullptr), qtParamErr);
    VDGetDigitizerRect(ci, &rect);
    EXPECT_TRUE(MacEqualRect(&rect, &full));

    Rect inside{10, 10, 100, 100};
    EXPECT_EQ(VDSetDigitizerRect(ci, &inside), noErr);
    EXPECT_EQ(VDGetDigitizerRect(ci, &rect), noErr);
    EXPECT_TRUE(MacEqualRect(&rect, &inside));
}

TEST_F(Digitizer, SetCompressionSizesTheDescriptionToTheDigitizerRect) {
    Broadcast();
    const ComponentInstance ci = Open();
    Rect inside{10, 10, 100, 100};
    ASSERT_EQ(VDSetDigitizerRect(ci, &inside), noErr);
    EXPECT_EQ(VDSetCompression(ci, 0, 0, nullptr, 0, 0, 0), badCallOrderErr);
    ASSERT_EQ(VDSetCompressionOnOff(ci, 1), noErr);
    EXPECT_EQ(VDSetCompression(ci, FourCC("yuv2"), 32, nullptr, 0, 0, 0), noCodecErr);
    EXPECT_EQ(VDSetCompression(ci, 0, 0, nullptr, 0, 0, 0), noErr);

    auto desc = reinterpret_cast<ImageDescriptionHandle>(NewHandle(0));
    ASSERT_EQ(VDGetImageDescription(ci, desc), noErr);
    EXPECT_EQ((*desc)->width, 90);
    EXPECT_EQ((*desc)->height, 90);
    SInt32 encoded = 0;
    ASSERT_EQ(ICMImageDescriptionGetProperty(desc, kQTPropertyClass_ImageDescription,
                                             kICMImageDescriptionPropertyID_EncodedWidth,
                                             sizeof encoded, &encoded, nullptr),
              noErr);
    EXPECT_EQ(encoded, 90);
    ICMImageDescriptionGetProperty(desc, kQTPropertyClass_ImageDescription,
                                   kICMImageDescriptionPropertyID_EncodedHeight, sizeof encoded,
                                   &encoded, nullptr);
    EXPECT_EQ(encoded, 90);
    EXPECT_EQ(VDSetCompression(ci, FourCC("raw "), 32, &inside, codecNormalQuality, 0, 10), noErr);
    DisposeHandle(reinterpret_cast<Handle>(desc));

    CodecQ spatial = 1, temporal = 1;
    unsigned long time = 1;
    EXPECT_EQ(VDGetCompressionTime(ci, FourCC("raw "), 32, &inside, &spatial, &temporal, &time),
              noErr);
    EXPECT_EQ(spatial, codecLosslessQuality);
    EXPECT_EQ(temporal, 0u);
    EXPECT_EQ(time, 0u);
    EXPECT_EQ(VDGetCompressionTime(ci, FourCC("raw "), 32, &inside, &spatial, &temporal, nullptr),
              noErr);
    StandardErrorCapture err;
    EXPECT_EQ(VDGetCompressionTime(ci, FourCC("2vuy"), 16, &inside, &spatial, &temporal, &time),
              noCodecErr);
    EXPECT_TRUE(err.Has(" code : compressType == _devicePixelFormat")) << err.Text();
}

TEST_F(Digitizer, CompressionOffRefusesFrameCalls) {
    Broadcast();
    ASSERT_TRUE(writer.Publish(0, 1));
    const ComponentInstance ci = Open();
    EXPECT_EQ(VDCompressOneFrameAsync(ci), badCallOrderErr);
    const Frame frame = CompressDone(ci);
    EXPECT_EQ(frame.result, badCallOrderErr);
    EXPECT_EQ(frame.queued, 0);
    EXPECT_EQ(frame.data, nullptr);
    EXPECT_EQ(frame.size, 0);
    TimeRecord at{};
    TimeCodeDef def{};
    TimeCodeRecord record{};
    {
        StandardErrorCapture err;
        EXPECT_EQ(VDReleaseCompressBuffer(ci, reinterpret_cast<Ptr>(writer.Buffer(0))),
                  badCallOrderErr);
        EXPECT_EQ(VDGetTimeCode(ci, &at, &def, &record), badCallOrderErr);
        EXPECT_TRUE(err.Has(" code : _compressOn in ")) << err.Text();
    }
    EXPECT_EQ(VDResetCompressSequence(ci), noErr);

    EXPECT_EQ(VDSetCompressionOnOff(ci, 1), noErr);
    EXPECT_EQ(VDSetCompressionOnOff(ci, 1), noErr);
    EXPECT_EQ(VDCompressOneFrameAsync(ci), noErr);
    EXPECT_EQ(VDGetTimeCode(ci, &at, &def, &record), noErr);
    EXPECT_EQ(VDSetCompressionOnOff(ci, 0), noErr);
    EXPECT_EQ(VDCompressOneFrameAsync(ci), badCallOrderErr);
}

TEST_F(Digitizer, FrameRateAndDataRate) {
    Broadcast();
    const ComponentInstance ci = Open();
    long ms = -1, bytes = -1;
    Fixed fps = 0;
    EXPECT_EQ(VDGetDataRate(ci, &ms, &fps, &bytes), noErr);
    EXPECT_EQ(bytes, 0); // no rate set yet

    EXPECT_EQ(VDSetFrameRate(ci, -1), noErr);
    EXPECT_EQ(VDGetDataRate(ci, &ms, &fps, &bytes), noErr);
    EXPECT_EQ(ms, 0);
    EXPECT_EQ(fps, 0x1E0000);
    EXPECT_EQ(bytes, 1228800L * 30);

    EXPECT_EQ(VDSetFrameRate(ci, 0x0F0000), noErr);
    VDGetDataRate(ci, &ms, &fps, &bytes);
    EXPECT_EQ(fps, 0x1E0000); // the preferred rate, whatever was set
    EXPECT_EQ(bytes, 1228800L * 15);
    EXPECT_EQ(VDSetFrameRate(ci, 0x1DF852), noErr);
    VDGetDataRate(ci, &ms, &fps, &bytes);
    EXPECT_EQ(bytes, 36827138L); // 1228800 x 29.97 (0x1DF852), rounded

    {
        StandardErrorCapture err;
        EXPECT_EQ(VDSetFrameRate(ci, 0x3D0000), noErr);
        EXPECT_TRUE(err.Has("VERIFY FAILED:  code : inFramesPerSecond <= "
                            "2*kPreferredVideoFrameRate in "))
            << err.Text();
        EXPECT_TRUE(err.Has("(SetFrameRate)")) << err.Text();
    }
    VDGetDataRate(ci, &ms, &fps, &bytes);
    EXPECT_EQ(bytes, 1228800L * 61);
    EXPECT_EQ(VDSetFrameRate(ci, -2), qtParamErr);
    VDGetDataRate(ci, &ms, &fps, &bytes);
    EXPECT_EQ(bytes, 1228800L * 61);

    TimeScale scale = 0;
    EXPECT_EQ(VDGetPreferredTimeScale(ci, &scale), noErr);
    EXPECT_EQ(scale, 30);
    EXPECT_EQ(VDSetDataRate(ci, 1000), digiUnimpErr);
    EXPECT_EQ(VDSetPLLFilterType(ci, 1), digiUnimpErr);
    short pll = -1;
    EXPECT_EQ(VDGetPLLFilterType(ci, &pll), noErr);
    EXPECT_EQ(pll, 0);
    long width = 0, height = 0;
    EXPECT_EQ(VDGetPreferredImageDimensions(ci, &width, &height), digiUnimpErr);
}

TEST_F(Digitizer, ImageDescriptionOfTheDevice) {
    Broadcast();
    const ComponentInstance ci = Open();
    Handle h = NewHandle(0);
    auto desc = reinterpret_cast<ImageDescriptionHandle>(h);
    ASSERT_EQ(VDGetImageDescription(ci, desc), noErr);
    ASSERT_EQ(GetHandleSize(h), 86);
    const ImageDescription& d = **desc;
    EXPECT_EQ(d.idSize, 86);
    EXPECT_EQ(d.cType, FourCC("raw "));
    EXPECT_EQ(d.resvd1, 0);
    EXPECT_EQ(d.resvd2, 0);
    EXPECT_EQ(d.dataRefIndex, 0);
    EXPECT_EQ(d.version, 2);
    EXPECT_EQ(d.revisionLevel, 0);
    EXPECT_EQ(uint32_t(d.vendor), FourCC("appl"));
    EXPECT_EQ(d.temporalQuality, 0u);
    EXPECT_EQ(d.spatialQuality, codecLosslessQuality);
    EXPECT_EQ(d.width, 640);
    EXPECT_EQ(d.height, 480);
    EXPECT_EQ(d.hRes, 0x480000);
    EXPECT_EQ(d.vRes, 0x480000);
    EXPECT_EQ(d.dataSize, 1228800);
    EXPECT_EQ(d.frameCount, 1);
    EXPECT_EQ(d.depth, 32);
    EXPECT_EQ(d.clutID, -1);
    // The name is the component's string 2.
    Str255 second;
    ASSERT_EQ(GetComponentIndString(Component(ci), second, 200, 2), noErr);
    EXPECT_EQ(Text(d.name), Text(second));
    EXPECT_EQ(Text(d.name), "Vistrel ARGB");
    DisposeHandle(h);

    short format = -1;
    EXPECT_EQ(VDGetInputFormat(ci, 0, &format), noErr);
    EXPECT_EQ(format, rgbComponentIn);
    StandardErrorCapture err;
    EXPECT_EQ(VDGetInputFormat(ci, 1, &format), qtParamErr);
    EXPECT_TRUE(err.Has(" code : input==0 in ")) << err.Text();
    EXPECT_EQ(VDGetImageDescription(ci, nullptr), nilHandleErr);
    EXPECT_TRUE(err.Has("VERIFY_ERR FAILED: OSErr:-109  code : err = MemError() in "))
        << err.Text();
}

TEST_F(Digitizer, CompressionListHasOneRawEntry) {
    Broadcast();
    const ComponentInstance ci = Open();
    Handle h = NewHandle(0);
    auto list = reinterpret_cast<VDCompressionListHandle>(h);
    ASSERT_EQ(VDGetCompressionTypes(ci, list), noErr);
    ASSERT_EQ(GetHandleSize(h), 148);
    EXPECT_EQ(HGetState(h) & kHandleLockedBit, 0);
    EXPECT_FALSE((*list)->codec);
    EXPECT_EQ((*list)->cType, FourCC("raw "));
    EXPECT_EQ((*list)->formatFlags, 0x20);
    EXPECT_EQ((*list)->compressFlags, 0x20);
    EXPECT_EQ((*list)->reserved, 0);
    EXPECT_EQ(Text((*list)->typeName), "Vistrel ARGB");
    EXPECT_EQ(Text((*list)->name), "Vistrel ARGB");

    // With the platform's uncompressed codec registered, the entry names it.
    const auto codec = [](ComponentParameters*, Handle) -> ComponentResult { return noErr; };
    ComponentDescription foreign{compressorComponentType, FourCC("raw "), FourCC("KeyG"), 0, 0};
    ComponentDescription apple{compressorComponentType, FourCC("raw "), FourCC("appl"), 0, 0};
    const Component other = RegisterComponent(&foreign, codec, 0, nullptr, nullptr, nullptr);
    const Component raw = RegisterComponent(&apple, codec, 0, nullptr, nullptr, nullptr);
    HLock(h);
    ASSERT_EQ(VDGetCompressionTypes(ci, list), noErr);
    EXPECT_NE(HGetState(h) & kHandleLockedBit, 0);
    EXPECT_TRUE((*list)->codec == raw);
    EXPECT_EQ(Text((*list)->typeName), "Uncompressed 8-bit ARGB");
    EXPECT_EQ(Text((*list)->name), "Uncompressed 8-bit ARGB");
    EXPECT_EQ((*list)->formatFlags, 0x20);
    UnregisterComponent(raw);
    UnregisterComponent(other);
    DisposeHandle(h);
}

TEST_F(Digitizer, InputsNamesAndIdentity) {
    Broadcast();
    const ComponentInstance ci = Open();
    short value = -1;
    EXPECT_EQ(VDGetNumberOfInputs(ci, &value), noErr);
    EXPECT_EQ(value, 0);
    value = -1;
    EXPECT_EQ(VDGetInput(ci, &value), noErr);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(VDSetInput(ci, 0), noErr);
    EXPECT_EQ(VDSetInputStandard(ci, ntscIn), noErr);
    EXPECT_EQ(VDSetInputStandard(ci, ntscReallyIn), noErr);

    Str255 name;
    EXPECT_EQ(VDGetInputName(ci, 0, name), noErr);
    EXPECT_EQ(Text(name), "Vistrel (ARGB)");
    {
        StandardErrorCapture err;
        EXPECT_EQ(VDSetInput(ci, 1), qtParamErr);
        EXPECT_EQ(VDSetInputStandard(ci, palIn), qtParamErr);
        // Another input is reported but still named.
        EXPECT_EQ(VDGetInputName(ci, 1, name), noErr);
        EXPECT_EQ(Text(name), "Vistrel (ARGB)");
        EXPECT_TRUE(err.Has(" code : input == 0 in ")) << err.Text();
        EXPECT_TRUE(err.Has(" code : ntscIn == inputStandard || ntscReallyIn == inputStandard in "))
            << err.Text();
        EXPECT_TRUE(err.Has(" code : videoInput==0 in ")) << err.Text();
    }

    UInt32 flags = 0;
    EXPECT_EQ(VDGetDeviceNameAndFlags(ci, name, &flags), noErr);
    EXPECT_EQ(Text(name), "Vistrel");
    EXPECT_EQ(flags, vdDeviceFlagShowInputsAsDevices);

    UInt64 device = 0, input = 0;
    EXPECT_EQ(VDGetUniqueIDs(ci, &device, &input), noErr);
    EXPECT_EQ(device, 0x0DEF0DEF0DEF0001u);
    EXPECT_EQ(input, 1u);
    const UInt64 otherDevice = 42, otherInput = 7;
    EXPECT_EQ(VDSelectUniqueIDs(ci, &otherDevice, &otherInput), noErr);
    EXPECT_EQ(VDGetUniqueIDs(ci, &device, &input), noErr);
    EXPECT_EQ(device, 0x0DEF0DEF0DEF0001u);
    EXPECT_EQ(input, 1u);
}

TEST_F(Digitizer, DigitizerInfoAndPictureSettings) {
    Broadcast();
    const ComponentInstance ci = Open();
    long in = -1, out = -1;
    EXPECT_EQ(VDGetCurrentFlags(ci, &in, &out), noErr);
    EXPECT_EQ(in, 0);
    EXPECT_EQ(out, 0);
    DigitizerInfo info;
    std::memset(&info, 0xA5, sizeof info);
    ASSERT_EQ(VDGetDigitizerInfo(ci, &info), noErr);
    EXPECT_EQ(info.vdigType, 0);
    EXPECT_EQ(uint32_t(info.inputCapabilityFlags), 0x80001401u);
    EXPECT_EQ(uint32_t(info.inputCurrentFlags), 0x80001401u);
    EXPECT_EQ(uint32_t(info.outputCapabilityFlags), 0x98000038u);
    EXPECT_EQ(uint32_t(info.outputCurrentFlags), 0x98000038u);
    EXPECT_EQ(info.slot, 0);
    // Packed fields: compared by value, never bound to a reference.
    EXPECT_TRUE(info.gdh == nullptr);
    EXPECT_TRUE(info.maskgdh == nullptr);
    EXPECT_EQ(info.minDestHeight, 0);
    EXPECT_EQ(info.minDestWidth, 0);
    EXPECT_EQ(info.maxDestHeight, 480);
    EXPECT_EQ(info.maxDestWidth, 640);
    EXPECT_EQ(info.blendLevels, 0);
    EXPECT_EQ(VDGetCurrentFlags(ci, &in, &out), noErr);
    EXPECT_EQ(uint32_t(in), 0x80001401u);
    EXPECT_EQ(uint32_t(out), 0x98000038u);

    unsigned short d[7] = {};
    EXPECT_EQ(VDGetVideoDefaults(ci, &d[0], &d[1], &d[2], &d[3], &d[4], &d[5], &d[6]), noErr);
    const unsigned short defaults[7] = {0, 0xE665, 0x7FFF, 0x7AE0, 0x8A3C, 0xE146, 0xFAE0};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(d[i], defaults[i]) << i;

    using Access = VideoDigitizerError (*)(VideoDigitizerComponent, unsigned short*);
    struct Setting {
        Access set;
        Access get;
        unsigned short initial;
    } settings[] = {
        {VDSetBlackLevelValue, VDGetBlackLevelValue, 0},
        {VDSetWhiteLevelValue, VDGetWhiteLevelValue, 0xE665},
        {VDSetBrightness, VDGetBrightness, 0x7FFF},
        {VDSetHue, VDGetHue, 0x7AE0},
        {VDSetSaturation, VDGetSaturation, 0x8A3C},
        {VDSetContrast, VDGetContrast, 0xE146},
        {VDSetSharpness, VDGetSharpness, 0xFAE0},
    };
    // The open stored the defaults; each setting is a field of its own.
    for (int i = 0; i < 7; ++i) {
        unsigned short value = 1;
        EXPECT_EQ(settings[i].get(ci, &value), noErr) << i;
        EXPECT_EQ(value, settings[i].initial) << i;
        value = static_cast<unsigned short>(0x1000 + i);
        EXPECT_EQ(settings[i].set(ci, &value), noErr) << i;
    }
    for (int i = 0; i < 7; ++i) {
        unsigned short value = 1;
        settings[i].get(ci, &value);
        EXPECT_EQ(value, 0x1000 + i) << i;
    }
}

} // namespace
