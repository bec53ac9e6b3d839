// The seven entry points of the built camera components, reached only through dlopen of the
// staged bundle objects, as every client reaches them.
#include "tests/channel/binding_child.h"
#include "tests/channel/binding_component.h"
#include "tests/support/TestSupport.h"
#include "tools/vistrel-channel/TestPattern.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <vector>

using namespace binding;
using testsupport::Exists;

namespace {

constexpr ptrdiff_t kBufferDistance =
    offsetof(SharedCamera::Region, frameBuffer1) - offsetof(SharedCamera::Region, frameBuffer0);
static_assert(kBufferDistance == 1229824);

// A record filled with a byte pattern, so that any byte an entry point writes shows.
tagSHARED_CAMERA_BUFFER Patterned(uint32_t size) {
    tagSHARED_CAMERA_BUFFER record;
    std::memset(&record, 0xA5, sizeof record);
    record.sizeofSHARED_CAMERA_BUFFER = size;
    return record;
}

tagSHARED_CAMERA_BUFFER Sized() {
    tagSHARED_CAMERA_BUFFER record{};
    record.sizeofSHARED_CAMERA_BUFFER = sizeof record;
    return record;
}

bool SameBytes(const tagSHARED_CAMERA_BUFFER& a, const tagSHARED_CAMERA_BUFFER& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void ExpectDescribes(const tagSHARED_CAMERA_BUFFER& record, void* buffer) {
    EXPECT_EQ(record.sizeofSHARED_CAMERA_BUFFER, 32u);
    EXPECT_EQ(record.frameBufferPtr, buffer);
    EXPECT_EQ(record.frameBufferRowBytes, 2560);
    EXPECT_EQ(record.frameBufferSizeBytes, 1228800);
    EXPECT_EQ(record.frameWidth, 640);
    EXPECT_EQ(record.frameHeight, 480);
    EXPECT_EQ(record.framePixelFormat, 0x72617720u);
}

size_t Count(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

// ---------------------------------------------------------------------------------------------
// What the bundles export

std::set<std::string> DefinedDynamicSymbols(const std::string& object) {
    const testsupport::ProcessResult nm =
        testsupport::RunProcess({VISTREL_NM, "-D", "--defined-only", object});
    EXPECT_EQ(nm.exitCode, 0) << nm.err;
    std::set<std::string> names;
    std::istringstream lines(nm.out);
    for (std::string line; std::getline(lines, line);) {
        const size_t last = line.find_last_of(' ');
        if (last != std::string::npos) names.insert(line.substr(last + 1));
    }
    return names;
}

TEST(ComponentExports, ExactlyTheSevenEntryPoints) {
    const std::set<std::string> seven = {"__public_fn_", "__public_fn0", "__public_fn1",
                                         "__public_fn2", "__public_fn3", "__public_fn4",
                                         "__public_fn5"};
    std::vector<std::string> objects = {BundleObject("VistrelX64"), BundleObject("VistrelXXX")};
#if VISTREL_HAVE_ARCH32
    objects.push_back(BundleObject("VistrelX64", "i386"));
#endif
    for (const std::string& object : objects) {
        ASSERT_TRUE(Exists(object)) << object;
        EXPECT_EQ(DefinedDynamicSymbols(object), seven) << object;
    }
}

// ---------------------------------------------------------------------------------------------
// One process, each test with a freshly loaded component and no channel on the machine

class EntryPoints : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        RemoveChannel();
        std::string error;
        ASSERT_TRUE(c.Load(BundleObject(GetParam()), error)) << error;
    }
    void TearDown() override {
        // The component's state lives in the object; if it stayed, the next test would inherit it.
        ASSERT_TRUE(c.Unload());
    }

    uint8_t* WriteBuffer(int n) {
        tagSHARED_CAMERA_BUFFER record = Sized();
        EXPECT_TRUE(c.fn0(n, &record));
        return static_cast<uint8_t*>(record.frameBufferPtr);
    }

    Component c;
};

TEST_P(EntryPoints, WriteBufferRecordsDescribeBothBuffers) {
    tagSHARED_CAMERA_BUFFER first = Patterned(32), second = Patterned(32);
    ASSERT_TRUE(c.fn0(0, &first));
    ASSERT_TRUE(c.fn0(1, &second));
    ASSERT_NE(first.frameBufferPtr, nullptr);
    ExpectDescribes(first, first.frameBufferPtr);
    ExpectDescribes(second, second.frameBufferPtr);
    EXPECT_EQ(static_cast<uint8_t*>(second.frameBufferPtr) -
                  static_cast<uint8_t*>(first.frameBufferPtr),
              kBufferDistance);
    // The writer's entry point is the one that brings the region into being.
    EXPECT_TRUE(Exists(RegionPath()));
}

TEST_P(EntryPoints, BufferIndexOutOfRangeClearsTheRecordAndReports) {
    for (int n : {2, -1}) {
        SCOPED_TRACE(n);
        // The component echoes its log to standard error: catch it in a child of this process.
        ChildProcess child([&](ChildChannel& channel) {
            tagSHARED_CAMERA_BUFFER record = Patterned(32);
            const bool ok = c.fn0(n, &record);
            channel.Say(std::to_string(ok) + " " + Hex(&record, sizeof record));
            return 0;
        });
        std::string line;
        ASSERT_TRUE(child.ReadLine(line, 10));
        ASSERT_TRUE(child.Wait(10));
        EXPECT_EQ(line, "0 " + std::string(64, '0'));
        EXPECT_EQ(Count(child.Err(), "VERIFY FAILED:"), 1u) << child.Err();
        EXPECT_NE(child.Err().find("VERIFY FAILED:  code : "
                                   "Buffer_N<SharedGWorldMemory::kMaxBufferCount in "),
                  std::string::npos)
            << child.Err();
        EXPECT_NE(child.Err().find("(__public_fn0)"), std::string::npos) << child.Err();
    }
}

TEST_P(EntryPoints, RecordOfTheOtherBuildIsRefusedUntouched) {
    uint8_t* buffer = WriteBuffer(0);
    ASSERT_TRUE(c.fn1(buffer)); // so that a reader's call would otherwise succeed
    for (uint32_t size : {24u, 0u, 33u}) {
        SCOPED_TRACE(size);
        const tagSHARED_CAMERA_BUFFER before = Patterned(size);
        tagSHARED_CAMERA_BUFFER record = before;
        EXPECT_FALSE(c.fn0(0, &record));
        EXPECT_TRUE(SameBytes(record, before));
        EXPECT_FALSE(c.fn2(&record));
        EXPECT_TRUE(SameBytes(record, before));
    }
}

TEST_P(EntryPoints, ControlRecordSetsTheAllowance) {
    tagSHARED_CAMERA_CONTROL control{7, 0, 0};
    EXPECT_FALSE(c.fn_(&control));
    EXPECT_FALSE(c.fn_(nullptr));
    EXPECT_FALSE(Exists(RegionPath())) << "a refused control record must not create the region";

    control = {8, 0, 0};
    ASSERT_TRUE(c.fn_(&control));
    EXPECT_EQ(RegionWord(kAllowanceOffset), 0xFFFFFFFFu);
    control = {7, 1, 0};
    EXPECT_FALSE(c.fn_(&control));
    EXPECT_EQ(RegionWord(kAllowanceOffset), 0xFFFFFFFFu);
    for (int16_t allow : {int16_t(1), int16_t(-1)}) {
        control = {8, 0, 0};
        ASSERT_TRUE(c.fn_(&control));
        control = {8, allow, 0};
        ASSERT_TRUE(c.fn_(&control));
        EXPECT_EQ(RegionWord(kAllowanceOffset), 0u) << allow;
    }
}

TEST_P(EntryPoints, CurrentBufferFollowsTheWriter) {
    uint8_t* buffer0 = WriteBuffer(0);
    ASSERT_NE(buffer0, nullptr);

    // No current buffer yet: only the pointer is cleared.
    const tagSHARED_CAMERA_BUFFER before = Patterned(32);
    tagSHARED_CAMERA_BUFFER record = before;
    EXPECT_FALSE(c.fn2(&record));
    EXPECT_EQ(record.frameBufferPtr, nullptr);
    record.frameBufferPtr = before.frameBufferPtr;
    EXPECT_TRUE(SameBytes(record, before));

    ASSERT_TRUE(c.fn1(buffer0));
    EXPECT_EQ(RegionWord(kTagOffset), SharedCamera::kBufferTag0);
    record = Patterned(32);
    ASSERT_TRUE(c.fn2(&record));
    ExpectDescribes(record, buffer0);

    uint8_t* buffer1 = WriteBuffer(1);
    EXPECT_FALSE(c.fn1(buffer1 + 4));
    EXPECT_FALSE(c.fn1(buffer0 - 4));
    EXPECT_EQ(RegionWord(kTagOffset), SharedCamera::kBufferTag0);
    ASSERT_TRUE(c.fn1(buffer1));
    EXPECT_EQ(RegionWord(kTagOffset), SharedCamera::kBufferTag1);
    ASSERT_TRUE(c.fn2(&record));
    EXPECT_EQ(record.frameBufferPtr, buffer1);

    // Null withdraws the frame.
    ASSERT_TRUE(c.fn1(nullptr));
    EXPECT_EQ(RegionWord(kTagOffset), 0u);
    EXPECT_FALSE(c.fn2(&record));
    EXPECT_EQ(record.frameBufferPtr, nullptr);
}

TEST_P(EntryPoints, ReadersAndLocksNeverCreateTheRegion) {
    uint8_t somewhere[16];
    tagSHARED_CAMERA_BUFFER record = Patterned(32);
    EXPECT_FALSE(c.fn2(&record));
    EXPECT_EQ(record.frameBufferPtr, nullptr);
    EXPECT_FALSE(c.fn4(somewhere));
    EXPECT_FALSE(c.fn3(somewhere));
    EXPECT_FALSE(c.fn5(somewhere));
    EXPECT_FALSE(Exists(RegionPath()));
}

TEST_P(EntryPoints, LocksTakeOnlyBufferAddresses) {
    uint8_t* buffer = WriteBuffer(1);
    ASSERT_NE(buffer, nullptr);
    EXPECT_FALSE(c.fn3(nullptr));
    EXPECT_FALSE(c.fn4(nullptr));
    EXPECT_FALSE(c.fn5(nullptr));
    EXPECT_FALSE(c.fn4(buffer + 4));

    ASSERT_TRUE(c.fn3(buffer));
    EXPECT_FALSE(c.fn3(buffer)) << "a held buffer must not be taken twice";
    ASSERT_TRUE(c.fn5(buffer));
    ASSERT_TRUE(c.fn4(buffer));
    EXPECT_FALSE(c.fn3(buffer));
    ASSERT_TRUE(c.fn5(buffer));
    EXPECT_TRUE(c.fn3(buffer));
    EXPECT_TRUE(c.fn5(buffer));
}

INSTANTIATE_TEST_SUITE_P(Components, EntryPoints, ::testing::Values("VistrelX64", "VistrelXXX"),
                         [](const auto& info) { return std::string(info.param); });

// ---------------------------------------------------------------------------------------------
// Two processes, each with its own load of the component and its own mapping

constexpr uint32_t kCounter = 1234;

// Runs body with the component freshly loaded in this (child) process.
int WithComponent(const std::function<int(Component&)>& body) {
    Component c;
    std::string error;
    if (!c.Load(BundleObject("VistrelX64"), error)) return 90;
    return body(c);
}

std::string FrameReport(const void* frame) {
    const auto* pixels = static_cast<const uint8_t*>(frame);
    std::ostringstream report;
    report << std::hex << RegionWord(kTagOffset) << " "
           << TestPattern::ReadCounter(pixels, 640, 2560) << " "
           << TestPattern::Checksum(pixels, 480, 2560);
    return report.str();
}

class EntryPointsAcrossProcesses : public ::testing::Test {
protected:
    void SetUp() override { RemoveChannel(); }
};

TEST_F(EntryPointsAcrossProcesses, ReaderSeesTheFrameAndHoldsOffTheWriter) {
    ChildProcess writer([](ChildChannel& channel) {
        return WithComponent([&](Component& c) {
            tagSHARED_CAMERA_CONTROL control{8, 1, 0};
            tagSHARED_CAMERA_BUFFER record = Sized();
            if (!c.fn_(&control) || !c.fn0(0, &record) || !c.fn4(record.frameBufferPtr)) return 1;
            TestPattern::Draw(static_cast<uint8_t*>(record.frameBufferPtr), 640, 480, 2560,
                              kCounter);
            if (!c.fn5(record.frameBufferPtr) || !c.fn1(record.frameBufferPtr)) return 2;
            channel.Say(FrameReport(record.frameBufferPtr));
            return 0;
        });
    });
    std::string written;
    ASSERT_TRUE(writer.ReadLine(written, 10)) << writer.Err();
    ASSERT_TRUE(writer.Wait(10));
    ASSERT_EQ(writer.ExitCode(), 0) << writer.Err();

    std::vector<uint8_t> expected(SharedCamera::kFrameSizeBytes);
    TestPattern::Draw(expected.data(), 640, 480, 2560, kCounter);
    std::ostringstream expectedReport;
    expectedReport << std::hex << SharedCamera::kBufferTag0 << " " << kCounter << " "
                   << TestPattern::Checksum(expected.data(), 480, 2560);
    EXPECT_EQ(written, expectedReport.str());

    // The reader keeps the current buffer locked until told to let go.
    ChildProcess reader([](ChildChannel& channel) {
        return WithComponent([&](Component& c) {
            tagSHARED_CAMERA_BUFFER record = Sized();
            if (!c.fn2(&record) || !c.fn4(record.frameBufferPtr)) return 1;
            channel.Say(FrameReport(record.frameBufferPtr));
            std::string go;
            channel.Await(go);
            return c.fn5(record.frameBufferPtr) ? 0 : 2;
        });
    });
    std::string read;
    ASSERT_TRUE(reader.ReadLine(read, 10)) << reader.Err();
    EXPECT_EQ(read, written);

    // A writer that wants the very buffer the reader holds waits for it.
    ChildProcess blocked([](ChildChannel& channel) {
        return WithComponent([&](Component& c) {
            tagSHARED_CAMERA_BUFFER record = Sized();
            if (!c.fn0(0, &record)) return 1;
            channel.Say("waiting");
            if (!c.fn4(record.frameBufferPtr)) return 2;
            channel.Say("locked");
            return c.fn5(record.frameBufferPtr) ? 0 : 3;
        });
    });
    std::string line;
    ASSERT_TRUE(blocked.ReadLine(line, 10)) << blocked.Err();
    ASSERT_EQ(line, "waiting");
    EXPECT_FALSE(blocked.ReadLine(line, 0.3)) << "the writer locked a buffer a reader holds";
    EXPECT_TRUE(blocked.IsRunning());

    reader.Send("release");
    ASSERT_TRUE(blocked.ReadLine(line, 10)) << blocked.Err();
    EXPECT_EQ(line, "locked");
    ASSERT_TRUE(blocked.Wait(10));
    EXPECT_EQ(blocked.ExitCode(), 0) << blocked.Err();
    ASSERT_TRUE(reader.Wait(10));
    EXPECT_EQ(reader.ExitCode(), 0) << reader.Err();
}

} // namespace
