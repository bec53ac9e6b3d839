// In a host whose signing identifier is one of those that run without semaphores, frames are read
// without the buffer's lock: a frame held by another process still comes back, and nothing is
// unlocked that was not locked.
#include "channel/SharedSemaphore.h"
#include "tests/support/ComponentBinding.h"
#include "tests/support/PlugInHost.h"

#include <chrono>
#include <future>
#include <thread>
#include <unistd.h>

using namespace plugintest;

namespace {

// A buffer's semaphore count as every process sees it.
int SemaphoreValue(const char* name) {
    shared_semaphore::sem_t* semaphore = shared_semaphore::sem_open(name, 0, 0, 0);
    int value = -1;
    if (semaphore) shared_semaphore::sem_getvalue(semaphore, &value);
    if (semaphore) shared_semaphore::sem_close(semaphore);
    return value;
}

TEST(CILookpaneInputFinderTest, AFrameHeldByAnotherProcessComesBackWithoutLocking) {
    binding::RemoveChannel();
    LinkPlugIn();
    binding::LinkComponent();
    Publish({"--frames", "1", "--no-install"});
    const std::string name = SharedCamera::SemaphoreName(
        binding::RegionWord(binding::kTagOffset) == SharedCamera::kBufferTag1, ::geteuid());
    const char* held = name.c_str();
    ASSERT_EQ(SemaphoreValue(held), 1);

    testsupport::Child holder([] {
        return testsupport::Exec(
            {testsupport::StagePath("bin/vistrel-channel"), "read", "--hold", "3"});
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (SemaphoreValue(held) != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(SemaphoreValue(held), 0) << "the other process did not take the lock";

    std::shared_ptr<CIFilter> filter;
    const std::string log = testsupport::CaptureStandardError([&] { filter = MakeFilter(); });
    EXPECT_NE(log.find("] __LP64__ CILookpaneInput com.apple.finder\n"), std::string::npos) << log;
    ASSERT_NE(filter, nullptr);
    // Asked on a thread of its own, so that a lock taken by mistake shows as a wait, not a hang.
    auto request = std::async(std::launch::async, [&] { return filter->outputImage(); });
    ASSERT_EQ(request.wait_for(std::chrono::seconds(2)), std::future_status::ready)
        << "the request waited for the lock";
    const auto image = request.get();
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(RenderARGB(*image) == Pattern(0));
    EXPECT_EQ(SemaphoreValue(held), 0) << "the filter unlocked a buffer it did not lock";
    ASSERT_TRUE(holder.Wait());
    EXPECT_EQ(holder.exitCode, 0) << holder.out << holder.err;
    EXPECT_EQ(SemaphoreValue(held), 1);
}

} // namespace
