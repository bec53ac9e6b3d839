// The video digitizer of VistrelXXX reached as a capture application reaches it: linked into the
// user's component folder and opened through the component manager. The channel's writer is the
// same bundle object's entry points, loaded with dlopen as a broadcasting application loads them.
// Numbers that hosts rely on (selectors, refusal reasons) are written out, not taken from headers.
#include "platform/quicktime/QuickTime.h"
#include "tests/support/ComponentBinding.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <set>

using namespace platform::quicktime;

namespace {

// Records that cross the component boundary keep the platform's sizes.
// (The platform's headers pin the image description, the compression list and Rect.)
static_assert(sizeof(DigitizerInfo) == 34 + 2 * sizeof(GDHandle));
static_assert(sizeof(TimeCodeDef) == 16 && sizeof(TimeCodeRecord) == 4);

// The platform's selectors the digitizer answers.
const std::set<int> kSupported = {-1,   -2,   -3,   -4,   0x01, 0x02, 0x03, 0x04, 0x05, 0x0C, 0x0D,
                                  0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x19, 0x1A, 0x29,
                                  0x2A, 0x37, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x40,
                                  0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E,
                                  0x51, 0x54, 0x55, 0x58, 0x5B, 0x5C, 0x5E, 0x5F, 0x60, 0x61};

Ptr Buffer(const binding::Component& writer, int n) {
    tagSHARED_CAMERA_BUFFER record = binding::Record();
    return writer.fn0(n, &record) ? static_cast<Ptr>(record.frameBufferPtr) : nullptr;
}

// Buffer n made current, as a broadcast makes a frame it has written.
bool Publish(const binding::Component& writer, int n) {
    const Ptr buffer = Buffer(writer, n);
    return buffer && writer.fn1(buffer);
}

struct Frame {
    VideoDigitizerError result = -1;
    UInt8 queued = 0xEE;
    Ptr data = reinterpret_cast<Ptr>(1);
    long size = -1;
    TimeRecord time{};
    // A call that handed out no frame, with that result.
    bool None(VideoDigitizerError expected) const {
        return result == expected && queued == 0 && data == nullptr && size == 0;
    }
    // A call that handed out that buffer as the frame.
    bool Is(Ptr buffer) const { return result == noErr && queued == 1 && data == buffer; }
};

Frame CompressDone(ComponentInstance ci) {
    Frame frame;
    UInt8 similarity = 0xEE;
    frame.result =
        VDCompressDone(ci, &frame.queued, &frame.data, &frame.size, &similarity, &frame.time);
    return frame;
}

// Every case starts with the component linked as a broadcast links it, no region, and nothing
// of the component loaded; it ends with every instance closed and the component unloaded again.
class Digitizer : public ::testing::Test {
protected:
    void SetUp() override {
        binding::RemoveChannel();
        binding::LinkComponent("VistrelXXX");
    }
    void TearDown() override {
        for (ComponentInstance ci : mOpened)
            CloseComponent(ci);
        writer.path = binding::BundleObject("VistrelXXX"); // also when the case never loaded it
        EXPECT_TRUE(writer.Unload()) << "the component stayed loaded";
    }

    // The region exists with every connection allowed.
    void Broadcast() {
        ASSERT_TRUE(writer.Load(binding::BundleObject("VistrelXXX")));
        tagSHARED_CAMERA_CONTROL settings{sizeof settings, 1, 0};
        ASSERT_TRUE(writer.fn_(&settings));
    }
    OSErr TryOpen(ComponentInstance& ci) {
        const OSErr err = OpenADefaultComponent(videoDigitizerComponentType, 0, &ci);
        if (err == noErr) mOpened.push_back(ci);
        return err;
    }
    ComponentInstance Open() {
        ComponentInstance ci = nullptr;
        EXPECT_EQ(TryOpen(ci), noErr);
        return ci;
    }
    void Close(ComponentInstance ci) {
        EXPECT_EQ(CloseComponent(ci), noErr);
        std::erase(mOpened, ci);
    }
    // Compression on and a capture starting; a preview's every CompressDone hands out a frame.
    ComponentInstance OpenCapturing(UInt32 preview) {
        const ComponentInstance ci = Open();
        EXPECT_EQ(VDSetCompressionOnOff(ci, 1), noErr);
        EXPECT_EQ(VDCaptureStateChanging(ci, vdFlagCaptureStarting | preview), noErr);
        return ci;
    }

    binding::Component writer;

private:
    std::vector<ComponentInstance> mOpened;
};

// Each open leaves its reason as the component's refcon: 0 opened, 3 no region, 4 a region that
// does not open, 5 no connection allowed, 6 no more connections allowed.
TEST_F(Digitizer, OpensOnlyOnARegionThatAllowsTheConnectionAndSaysWhyNot) {
    ComponentInstance ci = nullptr;
    ComponentDescription looking{videoDigitizerComponentType, 0, 0, 0, 0};
    const auto refcon = [&] { return GetComponentRefcon(FindNextComponent(nullptr, &looking)); };
    // An open refused for that reason.
    const auto refused = [&](long why) { return TryOpen(ci) == paramErr && refcon() == why; };
    // The allowance word, written as another process would write it.
    const auto allow = [](uint32_t value) {
        return binding::PutAt(binding::RegionPath(), binding::kAllowanceOffset, value);
    };
    EXPECT_TRUE(refused(3));
    std::filesystem::create_directory(binding::RegionPath());
    EXPECT_TRUE(refused(4));
    std::filesystem::remove(binding::RegionPath());

    Broadcast();
    ASSERT_TRUE(allow(0xFFFFFFFF));
    EXPECT_TRUE(refused(5));
    ASSERT_TRUE(allow(0));
    ComponentInstance first = nullptr, second = nullptr, third = nullptr;
    ASSERT_EQ(TryOpen(first) + TryOpen(second) + TryOpen(third), noErr);
    EXPECT_EQ(refcon(), 0);
    Close(third);

    ASSERT_TRUE(allow(2));
    EXPECT_TRUE(refused(6));
    Close(first);
    EXPECT_EQ(TryOpen(ci), noErr);
}

// The host's identity and the system version are the process's, so each try is a program. The
// refcon says 1 for an excluded host and 2 for too old a system.
TEST_F(Digitizer, HostsAndSystemsThatMayNotOpen) {
    Broadcast();
    testsupport::TempFolder tree;
    const std::string host = tree / "bin/capture-host";
    std::filesystem::create_directories(tree / "bin");
    std::filesystem::create_directories(tree / "share/capture-host");
    std::filesystem::copy_file(VISTREL_OPEN_PROBE, host);
    // The probe finds the private libraries relative to itself, as every program of ours does.
    const std::string lib =
        tree / testsupport::StageLibPath("").substr(testsupport::StagePath("").size());
    std::filesystem::create_directories(lib);
    std::filesystem::create_directory_symlink(testsupport::StageLibPath("vistrel"),
                                              lib + "vistrel");
    const auto run = [&](const std::string& identifier, const char* version = "0x1040") {
        testsupport::WriteFile(tree / "share/capture-host/Info.ini",
                               "CFBundleIdentifier=" + identifier + "\n");
        return testsupport::RunProcess({host}, {std::string("VISTREL_SYSTEM_VERSION=") + version})
            .out;
    };
    EXPECT_EQ(run("com.example.Capture"), "open 0 refcon 0 instances 1\n");
    EXPECT_EQ(run("COM.APPLE.ICHAT"), "open -50 refcon 1 instances 0\n");
    EXPECT_EQ(run("com.apple.iChatAgent"), "open 0 refcon 0 instances 1\n");
    EXPECT_EQ(run("com.example.Capture", "0x1030"), "open -50 refcon 2 instances 0\n");
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

// The description handed out is the expected one.
bool HasDescription(ComponentInstance ci, const ImageDescription& expected) {
    auto desc = reinterpret_cast<ImageDescriptionHandle>(NewHandle(0));
    const bool same = VDGetImageDescription(ci, desc) == noErr &&
                      GetHandleSize(reinterpret_cast<Handle>(desc)) == 86 &&
                      std::memcmp(*desc, &expected, 86) == 0;
    DisposeHandle(reinterpret_cast<Handle>(desc));
    return same;
}

// The time code of the frame last handed out, from a call expected to give that result.
std::string TimeCode(ComponentInstance ci, TimeCodeDef* def = nullptr, OSErr result = noErr) {
    TimeRecord at{};
    TimeCodeDef format{};
    TimeCodeRecord r{};
    EXPECT_EQ(VDGetTimeCode(ci, &at, def ? def : &format, &r), result);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d;%02d", r.t.hours, r.t.minutes, r.t.seconds,
                  r.t.frames);
    return text;
}

TEST_F(Digitizer, TheDigitizerRectangleSizesTheCompressedDescription) {
    Broadcast();
    const ComponentInstance ci = Open();
    const Rect full{0, 0, 480, 640};
    Rect rect{};
    EXPECT_EQ(VDGetMaxSrcRect(ci, ntscIn, &rect), noErr);
    EXPECT_TRUE(MacEqualRect(&rect, &full));
    EXPECT_EQ(VDGetMaxSrcRect(ci, palIn, &rect), qtParamErr);
    // Beyond the device, empty, or outside it.
    for (Rect refused : {Rect{0, 0, 480, 641}, Rect{10, 10, 10, 100}, Rect{500, 0, 600, 10}})
        EXPECT_EQ(VDSetDigitizerRect(ci, &refused), qtParamErr) << refused.top << refused.right;
    EXPECT_EQ(VDGetDigitizerRect(ci, &rect), noErr);
    EXPECT_TRUE(MacEqualRect(&rect, &full));
    EXPECT_TRUE(HasDescription(ci, DeviceDescription(640, 480)));

    Rect inside{10, 10, 100, 100};
    ASSERT_EQ(VDSetDigitizerRect(ci, &inside), noErr);
    // With compression off there are no frames nor time codes.
    EXPECT_EQ(VDSetCompression(ci, 0, 0, nullptr, 0, 0, 0), badCallOrderErr);
    EXPECT_EQ(VDCompressOneFrameAsync(ci), badCallOrderErr);
    TimeCode(ci, nullptr, badCallOrderErr);
    EXPECT_EQ(VDReleaseCompressBuffer(ci, Buffer(writer, 0)), badCallOrderErr);
    EXPECT_TRUE(CompressDone(ci).None(badCallOrderErr));
    ASSERT_EQ(VDSetCompressionOnOff(ci, 1), noErr);
    EXPECT_EQ(VDCompressOneFrameAsync(ci), noErr);
    EXPECT_EQ(VDSetCompression(ci, FourCC("yuv2"), 32, nullptr, 0, 0, 0), noCodecErr);
    EXPECT_EQ(VDSetCompression(ci, 0, 0, nullptr, 0, 0, 0), noErr);
    EXPECT_TRUE(HasDescription(ci, DeviceDescription(90, 90)));
}

TEST_F(Digitizer, FrameRateAndDataRate) {
    Broadcast();
    const ComponentInstance ci = Open();
    long ms = -1, bytes = -1;
    Fixed fps = 0;
    EXPECT_EQ(VDGetDataRate(ci, &ms, &fps, &bytes), noErr);
    EXPECT_EQ(bytes, 0); // no rate set yet
    // The rate set, its result, and the data rate then; the frame rate is always 30.
    for (auto [rate, result, expected] :
         {std::tuple<Fixed, VideoDigitizerError, long>{-1, noErr, 1228800L * 30},
          {0x1DF852, noErr, 36827138L}, // 29.97, rounded
          {0x3D0000, noErr, 1228800L * 61},
          {-2, qtParamErr, 1228800L * 61}}) {
        EXPECT_EQ(VDSetFrameRate(ci, rate), result) << rate;
        EXPECT_EQ(VDGetDataRate(ci, &ms, &fps, &bytes), noErr);
        EXPECT_TRUE(ms == 0 && fps == 0x1E0000 && bytes == expected) << rate << ": " << bytes;
    }
}

TEST_F(Digitizer, VersionSelectorsCompressionListNameAndInfo) {
    Broadcast();
    const ComponentInstance ci = Open();
    EXPECT_EQ(GetComponentVersion(ci), 0x20001);
    std::vector<int> selectors = {0x4446, int16_t(0x8046), -100};
    for (int selector = -16; selector < 0x200; ++selector)
        selectors.push_back(selector);
    for (int selector : selectors) {
        const bool supported = kSupported.count(selector);
        EXPECT_EQ(CallComponentCanDo(ci, short(selector)), supported ? 1 : 0) << selector;
        EXPECT_TRUE(supported || CallComponent(ci, int16_t(selector)) == badComponentSelector);
    }

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
    const int32_t in = int32_t(0x80001401), out = int32_t(0x98000038);
    const DigitizerInfo expectedInfo{0,       in, out, in,  out, 0, nullptr,
                                     nullptr, 0,  0,   480, 640, 0, 0};
    DigitizerInfo info;
    std::memset(&info, 0xA5, sizeof info);
    ASSERT_EQ(VDGetDigitizerInfo(ci, &info), noErr);
    EXPECT_EQ(std::memcmp(&info, &expectedInfo, sizeof info), 0);
}

// A frame arrives in place, the buffer itself, locked until it is released. No frame without a
// current one (an error), nor while another holds the current one (none queued, at once).
TEST_F(Digitizer, AFrameIsTheLockedBufferItself) {
    Broadcast();
    const ComponentInstance first = OpenCapturing(vdFlagCaptureIsForPreview);
    const ComponentInstance second = OpenCapturing(vdFlagCaptureIsForPreview);
    EXPECT_TRUE(CompressDone(first).None(paramErr));
    ASSERT_TRUE(Publish(writer, 1));
    // A holder that keeps the lock past the wait; once it lets go, the frame is had.
    ASSERT_TRUE(writer.fn4(Buffer(writer, 1)));
    EXPECT_TRUE(CompressDone(first).None(noErr));
    writer.fn5(Buffer(writer, 1));
    const Ptr held = Buffer(writer, 1);
    ASSERT_TRUE(CompressDone(first).Is(held));

    EXPECT_TRUE(CompressDone(second).None(noErr));
    EXPECT_EQ(VDReleaseCompressBuffer(first, held), noErr);
    EXPECT_TRUE(CompressDone(second).Is(held));
    EXPECT_EQ(VDReleaseCompressBuffer(second, held), noErr);
}

// A delivered frame is given back at once, as a capture application does.
Frame Deliver(ComponentInstance ci) {
    const Frame frame = CompressDone(ci);
    EXPECT_TRUE(!frame.queued || VDReleaseCompressBuffer(ci, frame.data) == noErr);
    return frame;
}

// Nanoseconds of the clock that the test moves.
std::atomic<int64_t> sNow{5'000'000'000'000};

// Frames are due every frame duration of a running time base and counted in time code.
TEST_F(Digitizer, PacedFramesAreDueEveryFrameDurationAndCountedInTimeCode) {
    const TimeBaseClockProc previous = InstallTimeBaseClock([] { return sNow.load(); });
    const TimeBase tb = NewTimeBase();
    Broadcast();
    ASSERT_TRUE(Publish(writer, 0));
    const struct {
        Fixed rate;
        int duration, perSecond;
        int32_t flags;
        std::map<int, std::string> codes;
    } cases[] = {
        {0x0F0000, 2, 15, tc24HourMax, {{4, "01:00:00;02"}, {30, "01:00:01;00"}}},
        // 29.97: two frame numbers are dropped each minute but every tenth
        // clang-format off
        {0x1DF852, 1, 30, tcDropFrame | tc24HourMax,
         {{1799, "01:00:59;29"}, {1800, "01:01:00;02"},
          {17981, "01:09:59;29"}, {17982, "01:10:00;00"}}},
        // clang-format on
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.rate);
        const ComponentInstance ci = OpenCapturing(0);
        EXPECT_EQ(VDSetFrameRate(ci, each.rate), noErr);
        EXPECT_EQ(Deliver(ci).queued, 0); // no time base
        EXPECT_EQ(VDSetTimeBase(ci, nullptr), qtParamErr);
        ASSERT_EQ(VDSetTimeBase(ci, tb), noErr);
        SetTimeBaseValue(tb, 0, 30);
        sNow += 10'000'000'000;
        EXPECT_EQ(Deliver(ci).queued, 0); // stopped
        SetTimeBaseRate(tb, 0x10000);
        const int64_t start = sNow;
        // The first moment the time base reads the tick at scale 30.
        const auto atTick = [&](int64_t tick) { sNow = start + (tick * 1'000'000'000 + 29) / 30; };
        const int last = each.codes.rbegin()->first;
        for (int tick = 0; tick <= last; ++tick) {
            atTick(tick);
            const Frame frame = Deliver(ci);
            ASSERT_EQ(frame.queued, tick % each.duration == 0 ? 1 : 0) << tick;
            if (!frame.queued) continue;
            ASSERT_TRUE(WideToInt64(frame.time.value) == tick && frame.time.scale == 30 &&
                        frame.time.base == tb && frame.size == 1228800)
                << tick;
            if (each.codes.count(tick)) {
                EXPECT_EQ(TimeCode(ci), each.codes.at(tick)) << tick;
            }
        }
        TimeCodeDef def{};
        TimeCode(ci, &def);
        EXPECT_TRUE(def.flags == each.flags && def.fTimeScale == 30 &&
                    def.frameDuration == each.duration && def.numFrames == each.perSecond);

        // A capture that starts again starts its time code again, at the time base's time.
        ASSERT_EQ(VDCaptureStateChanging(ci, vdFlagCaptureStarting), noErr);
        atTick(last + 10 * each.duration);
        EXPECT_EQ(WideToInt64(Deliver(ci).time.value), last + 10 * each.duration);
        EXPECT_EQ(TimeCode(ci), "01:00:00;00");
        EXPECT_EQ(Deliver(ci).queued, 0);
        // Seconds without asking: the frame after them is the latest one due, and no backlog
        // of copies of it follows.
        const int resumed = last + 70 * each.duration + 1;
        atTick(resumed);
        EXPECT_EQ(WideToInt64(Deliver(ci).time.value), resumed - resumed % each.duration);
        EXPECT_EQ(Deliver(ci).queued, 0);
        Close(ci);
        SetTimeBaseRate(tb, 0);
    }
    DisposeTimeBase(tb);
    InstallTimeBaseClock(previous);
}

} // namespace
