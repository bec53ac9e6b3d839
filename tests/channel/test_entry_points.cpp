// The seven entry points of the built camera components, reached only through dlopen of the
// staged bundle objects, as every client reaches them.
#include "channel/SharedCameraWait.h"
#include "tests/support/ComponentBinding.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <sstream>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace binding;
using testsupport::Exists;

namespace {

// What a record says of a buffer: the rest of the record (the fill) stays as it was.
tagSHARED_CAMERA_BUFFER Describing(void* buffer) {
    tagSHARED_CAMERA_BUFFER record = Record(32, 0xA5);
    record.frameBufferPtr = buffer;
    record.frameBufferRowBytes = 2560;
    record.frameBufferSizeBytes = 1228800;
    record.frameWidth = 640;
    record.frameHeight = 480;
    record.framePixelFormat = 0x72617720;
    return record;
}

// The seven, and beside them the wait for the writer's next frame (looked up by name, so that
// clients of either kind load every component).
TEST(ComponentExports, ExactlyTheSevenEntryPoints) {
    std::set<std::string> seven = {"SharedCameraAwaitPublish", "SharedCameraInterruptWait"};
    for (char n : std::string("_012345"))
        seven.insert(std::string("__public_fn") + n);
    // VistrelXXX is also a video digitizer: the component manager calls its dispatcher, and hosts
    // ask it for the channel file their messages name.
    std::set<std::string> digitizer = seven;
    digitizer.insert({"QVDIG_DATA_ComponentDispatch", "VistrelDigitizerChannelFile"});
    std::vector<std::pair<std::string, std::set<std::string>>> objects = {
        {BundleObject("VistrelX64"), seven}, {BundleObject("VistrelXXX"), digitizer}};
#if VISTREL_HAVE_ARCH32
    objects.push_back({BundleObject("VistrelX64", "i386"), seven});
#endif
    for (const auto& [object, expected] : objects) {
        const testsupport::ProcessResult nm =
            testsupport::RunProcess({VISTREL_NM, "-D", "--defined-only", object});
        ASSERT_EQ(nm.exitCode, 0) << object << nm.err;
        std::set<std::string> names;
        std::istringstream lines(nm.out);
        for (std::string line; std::getline(lines, line);)
            names.insert(line.substr(line.find_last_of(' ') + 1));
        EXPECT_EQ(names, expected) << object;
    }
}

// One process, each test with a freshly loaded component and no channel on the machine.
class EntryPoints : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveChannel();
        ASSERT_TRUE(c.Load(BundleObject("VistrelX64"))) << ::dlerror();
    }
    // The component's state lives in the object; if it stayed, the next test would inherit it.
    void TearDown() override { ASSERT_TRUE(c.Unload()); }

    Component c;
};

TEST_F(EntryPoints, RecordsDescribeTheBuffersThatReadersGetAndLockAndBadOnesAreRefused) {
    tagSHARED_CAMERA_BUFFER first = Record(32, 0xA5), second = Record(32, 0xA5);
    ASSERT_TRUE(c.fn0(0, &first));
    ASSERT_TRUE(c.fn0(1, &second));
    uint8_t* buffer0 = static_cast<uint8_t*>(first.frameBufferPtr);
    uint8_t* buffer1 = buffer0 + 1229824;
    EXPECT_TRUE(Same(first, Describing(buffer0)));
    EXPECT_TRUE(Same(second, Describing(buffer1)));

    // No current buffer yet: only the pointer is cleared.
    tagSHARED_CAMERA_BUFFER record = Record(32, 0xA5), expected = Record(32, 0xA5);
    expected.frameBufferPtr = nullptr;
    EXPECT_FALSE(c.fn2(&record));
    EXPECT_TRUE(Same(record, expected));
    ASSERT_TRUE(c.fn1(buffer1));
    ASSERT_TRUE(c.fn2(&record));
    EXPECT_TRUE(Same(record, Describing(buffer1)));
    // A buffer index out of range clears the record; a record of another size is refused
    // untouched, also by the reader's call, which would otherwise succeed on the current frame.
    for (auto [n, size] : {std::pair{2, 32u}, {-1, 32u}, {0, 24u}, {0, 0u}, {0, 33u}}) {
        SCOPED_TRACE(testing::Message() << n << " size " << size);
        const tagSHARED_CAMERA_BUFFER before = Record(size, 0xA5);
        tagSHARED_CAMERA_BUFFER bad = before;
        EXPECT_EQ(c.fn2(&bad), size == 32);
        EXPECT_FALSE(c.fn0(n, &bad));
        EXPECT_TRUE(Same(bad, size == 32 ? Record(0, 0) : before));
    }
    ASSERT_TRUE(c.fn1(nullptr)); // withdraws the frame
    EXPECT_EQ(RegionWord(kTagOffset), 0u);

    EXPECT_FALSE(c.fn3(nullptr) || c.fn4(nullptr) || c.fn5(nullptr) || c.fn4(buffer0 + 4));
    ASSERT_TRUE(c.fn3(buffer0));
    EXPECT_FALSE(c.fn3(buffer0)) << "a held buffer must not be taken twice";
    ASSERT_TRUE(c.fn5(buffer0));
    ASSERT_TRUE(c.fn4(buffer0));
    EXPECT_TRUE(c.fn5(buffer0));
}

// Nothing but the writer's entry points brings the region into being.
TEST_F(EntryPoints, ControlRecordSetsTheAllowanceAndReadersCreateNothing) {
    tagSHARED_CAMERA_CONTROL control{7, 0, 0};
    tagSHARED_CAMERA_BUFFER record = Record();
    uint8_t somewhere[16];
    EXPECT_FALSE(c.fn_(&control) || c.fn_(nullptr) || c.fn2(&record) || c.fn3(somewhere) ||
                 c.fn4(somewhere) || c.fn5(somewhere));
    EXPECT_FALSE(Exists(RegionPath()));
    for (int16_t allow : {int16_t(0), int16_t(1), int16_t(-1)}) {
        control = {8, allow, 0};
        ASSERT_TRUE(c.fn_(&control));
        EXPECT_EQ(RegionWord(kAllowanceOffset), allow ? 0u : 0xFFFFFFFFu) << allow;
    }
}

// A reader's wait for the writer's next frame. The writer is another process that makes buffer 0
// current again and again, so that the tag never changes under the waiter and only the wake
// (shared between processes) can end the wait; the interrupt comes from another thread.
TEST_F(EntryPoints, AWaitEndsAtTheWritersNextFrameItsInterruptOrItsTime) {
    const auto await =
        reinterpret_cast<SharedCameraAwaitPublishFn>(::dlsym(c.handle, kSharedCameraAwaitPublish));
    const auto interrupt = reinterpret_cast<SharedCameraInterruptWaitFn>(
        ::dlsym(c.handle, kSharedCameraInterruptWait));
    ASSERT_TRUE(await && interrupt);
    tagSHARED_CAMERA_BUFFER records[2] = {Record(), Record()};
    ASSERT_TRUE(c.fn0(0, &records[0]) && c.fn0(1, &records[1]) && c.fn1(records[0].frameBufferPtr));
    enum Act { kNothing, kRepublish, kInterrupt };
    constexpr int64_t kLong = 20'000'000'000, kShort = 50'000'000;
    const struct {
        const char* what;
        int shown, watch; // the buffer shown (-1 for none), whether frames are watched
        Act act;
        int64_t nanoseconds;
        int expected;
    } cases[] = {
        {"another frame is current", 1, 1, kNothing, kLong, kSharedCameraFrameWaiting},
        {"the shown buffer made current again", 0, 1, kRepublish, kLong,
         kSharedCameraFramePublished},
        {"none shown: the next frame", -1, 1, kRepublish, kLong, kSharedCameraFramePublished},
        {"frames unwatched", 0, 0, kRepublish, kShort, kSharedCameraWaitTimedOut},
        {"the interrupt", 0, 1, kInterrupt, kLong, kSharedCameraWaitInterrupted},
        {"nothing comes", 0, 1, kNothing, kShort, kSharedCameraWaitTimedOut},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.what);
        void* const buffer0 = records[0].frameBufferPtr;
        std::unique_ptr<testsupport::Child> writer;
        if (each.act == kRepublish)
            writer = std::make_unique<testsupport::Child>([&] {
                while (c.fn1(buffer0))
                    ::usleep(2000);
                return 1;
            });
        uint32_t word = 0;
        std::thread other([&] {
            if (each.act != kInterrupt) return;
            ::usleep(20000);
            interrupt(&word);
        });
        const void* shown = each.shown < 0 ? nullptr : records[each.shown].frameBufferPtr;
        EXPECT_EQ(await(shown, each.watch, each.nanoseconds, &word, 0), each.expected);
        other.join();
    }
}

} // namespace
