// Our semaphore header comes first: the C library's <semaphore.h> defines SEM_FAILED as a macro.
#include "channel/CoreUnixSemaphore.h"
#include "tests/support/TestSupport.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <semaphore.h>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

// The record as it lies in /dev/shm: count word, waiter word, sharing flag, and its length.
std::string Header(uint32_t count, uint32_t waiters, size_t length = 32) {
    const uint32_t words[3] = {count, waiters, 128};
    return std::string(reinterpret_cast<const char*>(words), 12) + std::to_string(length);
}

// Each test uses a name of its own and removes it, so no count leaks into the next test.
class SemaphoreTest : public testing::Test {
protected:
    void SetUp() override { ::sem_unlink(Name()); }
    void TearDown() override { ::sem_unlink(Name()); }
    const char* Name() const { return mName.c_str(); }
    std::string HeaderNow() const {
        const std::string bytes = testsupport::ReadFile("/dev/shm/sem." + mName);
        return bytes.substr(0, 12) + std::to_string(bytes.size());
    }

    const std::string mName = std::string("vistrel-test-") +
                              testing::UnitTest::GetInstance()->current_test_info()->name();
};

TEST_F(SemaphoreTest, RecordIsTheSixtyFourBitCLibrarys) {
    sem_t* theirs = ::sem_open(Name(), O_CREAT | O_EXCL, 0600, 1);
    ASSERT_NE(theirs, SEM_FAILED) << std::strerror(errno);
    EXPECT_EQ(HeaderNow(), Header(1, 0));
    ::sem_close(theirs);
    ::sem_unlink(Name());

    CoreUnixSemaphore ours;
    ASSERT_TRUE(ours.OpenCreate(Name()));
    EXPECT_EQ(HeaderNow(), Header(1, 0));
    theirs = ::sem_open(Name(), 0);
    ASSERT_NE(theirs, SEM_FAILED) << std::strerror(errno);
    ASSERT_EQ(::sem_trywait(theirs), 0);
    EXPECT_FALSE(ours.TryWait());
    EXPECT_TRUE(ours.Post());
    EXPECT_EQ(::sem_trywait(theirs), 0);
    EXPECT_EQ(::sem_post(theirs), 0);
    ::sem_close(theirs);
}

// Bounded waits, so that a lost wake fails the test instead of hanging it.
TEST_F(SemaphoreTest, WaitersAreWokenAcrossImplementations) {
    CoreUnixSemaphore ours;
    ASSERT_TRUE(ours.OpenCreate(Name()));
    sem_t* theirs = ::sem_open(Name(), 0);
    ASSERT_NE(theirs, SEM_FAILED);
    ASSERT_TRUE(ours.TryWait());

    using Call = std::function<bool()>;
    const Call oursWait = [&] { return ours.TimedWait(10); };
    const Call theirsWait = [&] {
        struct timespec deadline;
        ::clock_gettime(CLOCK_REALTIME, &deadline);
        deadline.tv_sec += 10;
        return ::sem_timedwait(theirs, &deadline) == 0;
    };
    const Call oursPost = [&] { return ours.Post(); };
    const Call theirsPost = [&] { return ::sem_post(theirs) == 0; };
    for (const auto& [wait, post] :
         {std::pair{oursWait, theirsPost}, std::pair{theirsWait, oursPost}}) {
        std::atomic<int> woken{-1};
        std::thread waiter([&] { woken = wait(); });
        std::this_thread::sleep_for(200ms);
        EXPECT_EQ(woken.load(), -1);
        EXPECT_TRUE(post());
        waiter.join();
        EXPECT_EQ(woken.load(), 1);
    }
    EXPECT_TRUE(ours.Post());
    EXPECT_EQ(HeaderNow(), Header(1, 0));
    ::sem_close(theirs);
}

TEST_F(SemaphoreTest, OpeningKeepsTheCountThatAnotherProcessLeft) {
    CoreUnixSemaphore semaphore;
    ASSERT_TRUE(semaphore.OpenCreate(Name()));
    EXPECT_FALSE(semaphore.OpenCreate(Name()));
    // Another process takes the count and exits without giving it back.
    testsupport::Child taker([&] {
        CoreUnixSemaphore mine;
        return mine.OpenCreate(Name()) && mine.TryWait() ? 0 : 1;
    });
    ASSERT_TRUE(taker.Wait());
    ASSERT_EQ(taker.exitCode, 0);
    CoreUnixSemaphore fresh;
    ASSERT_TRUE(fresh.OpenCreate(Name()));
    EXPECT_FALSE(fresh.TryWait());
    EXPECT_FALSE(fresh.TimedWait(0.2));
    EXPECT_EQ(HeaderNow(), Header(0, 0)) << "a timed-out wait left a waiter behind";

    EXPECT_TRUE(semaphore.Post());
    // Closing keeps the name and its count.
    EXPECT_TRUE(fresh.Close());
    EXPECT_EQ(HeaderNow(), Header(1, 0));
}

TEST_F(SemaphoreTest, ANotOpenSemaphoreRefusesEveryOperation) {
    CoreUnixSemaphore semaphore;
    EXPECT_FALSE(semaphore.Post() || semaphore.Wait() || semaphore.TryWait() ||
                 semaphore.TimedWait(0.01) || semaphore.Close());
}

} // namespace
