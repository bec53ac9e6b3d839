// Our semaphore header comes first: the C library's <semaphore.h> defines SEM_FAILED as a macro.
#include "channel/CoreUnixSemaphore.h"
#include "channel/SharedSemaphore.h"
#include "core/CoreMachDebugLog.h"
#include "tests/support/TestSupport.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <semaphore.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// The record as it lies in /dev/shm: count word, waiter word, sharing flag.
struct RawRecord {
    uint32_t value = 0, nwaiters = 0;
    int32_t sharing = 0;
    size_t length = 0;
};

RawRecord ReadRecord(const std::string& name) {
    const std::string bytes = testsupport::ReadFile("/dev/shm/sem." + name);
    RawRecord record;
    record.length = bytes.size();
    if (bytes.size() >= 12) {
        std::memcpy(&record.value, bytes.data(), 4);
        std::memcpy(&record.nwaiters, bytes.data() + 4, 4);
        std::memcpy(&record.sharing, bytes.data() + 8, 4);
    }
    return record;
}

// Each test uses a name of its own and removes it, so no count leaks into the next test.
class SemaphoreTest : public testing::Test {
protected:
    void SetUp() override {
        mName = std::string("vistrel-test-") +
                testing::UnitTest::GetInstance()->current_test_info()->name();
        shared_semaphore::sem_unlink(mName.c_str());
    }
    void TearDown() override { shared_semaphore::sem_unlink(mName.c_str()); }
    const char* Name() const { return mName.c_str(); }

    std::string mName;
};

// Waits for a child for at most the given time; its exit status, or -1 while it still runs.
int WaitForChild(pid_t child, std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        if (std::chrono::steady_clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(10ms);
    }
}

void KillChild(pid_t child) {
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
}

TEST_F(SemaphoreTest, RecordMatchesTheSixtyFourBitCLibrary) {
    CoreUnixSemaphore ours;
    ASSERT_TRUE(ours.OpenCreate(Name()));
    const RawRecord record = ReadRecord(mName);
    EXPECT_EQ(record.length, 32u);
    EXPECT_EQ(record.value, 1u);
    EXPECT_EQ(record.nwaiters, 0u);
    EXPECT_EQ(record.sharing, 128);

    // The C library opens our semaphore and sees its count.
    sem_t* theirs = ::sem_open(Name(), 0);
    ASSERT_NE(theirs, SEM_FAILED) << std::strerror(errno);
    int value = -1;
    ASSERT_EQ(::sem_getvalue(theirs, &value), 0);
    EXPECT_EQ(value, 1);
    ASSERT_EQ(::sem_trywait(theirs), 0);
    EXPECT_FALSE(ours.TryWait());
    EXPECT_TRUE(ours.Post());
    ASSERT_EQ(::sem_getvalue(theirs, &value), 0);
    EXPECT_EQ(value, 1);
    ::sem_close(theirs);
}

TEST_F(SemaphoreTest, OpensASemaphoreTheCLibraryCreated) {
    sem_t* theirs = ::sem_open(Name(), O_CREAT | O_EXCL, 0600, 1);
    ASSERT_NE(theirs, SEM_FAILED) << std::strerror(errno);
    const RawRecord record = ReadRecord(mName);
    EXPECT_EQ(record.value, 1u);
    EXPECT_EQ(record.sharing, 128);

    CoreUnixSemaphore ours;
    ASSERT_TRUE(ours.OpenCreate(Name()));
    EXPECT_TRUE(ours.TryWait());
    EXPECT_FALSE(ours.TryWait());
    EXPECT_NE(::sem_trywait(theirs), 0);
    EXPECT_TRUE(ours.Post());
    EXPECT_EQ(::sem_trywait(theirs), 0);
    EXPECT_EQ(::sem_post(theirs), 0);
    ::sem_close(theirs);
}

// A waiter of one implementation must be woken by a post of the other.
TEST_F(SemaphoreTest, WaitersAreWokenAcrossImplementations) {
    CoreUnixSemaphore ours;
    ASSERT_TRUE(ours.OpenCreate(Name()));
    sem_t* theirs = ::sem_open(Name(), 0);
    ASSERT_NE(theirs, SEM_FAILED);
    ASSERT_TRUE(ours.TryWait());

    std::atomic<int> oursWoken{-1};
    // Bounded waits, so that a lost wake fails the test instead of hanging it.
    std::thread oursWaiting([&] { oursWoken = ours.TimedWait(10) ? 1 : 0; });
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(oursWoken.load(), -1);
    ASSERT_EQ(::sem_post(theirs), 0);
    oursWaiting.join();
    EXPECT_EQ(oursWoken.load(), 1);

    std::atomic<int> theirsWoken{-1};
    std::thread theirsWaiting([&] {
        struct timespec deadline;
        ::clock_gettime(CLOCK_REALTIME, &deadline);
        deadline.tv_sec += 10;
        int result;
        while ((result = ::sem_timedwait(theirs, &deadline)) != 0 && errno == EINTR) {
        }
        theirsWoken = result == 0 ? 1 : 0;
    });
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(theirsWoken.load(), -1);
    EXPECT_TRUE(ours.Post());
    theirsWaiting.join();
    EXPECT_EQ(theirsWoken.load(), 1);

    EXPECT_TRUE(ours.Post());
    EXPECT_EQ(ReadRecord(mName).value, 1u);
    EXPECT_EQ(ReadRecord(mName).nwaiters, 0u);
    ::sem_close(theirs);
}

TEST_F(SemaphoreTest, CreatedWithCountOneAndOpenedAgainWithItsCount) {
    CoreUnixSemaphore semaphore;
    EXPECT_FALSE(semaphore.IsOpen());
    ASSERT_TRUE(semaphore.OpenCreate(Name()));
    EXPECT_TRUE(semaphore.IsOpen());
    EXPECT_FALSE(semaphore.OpenCreate(Name()));
    EXPECT_TRUE(semaphore.IsOpen());
    EXPECT_TRUE(semaphore.TryWait());
    EXPECT_FALSE(semaphore.TryWait());
    EXPECT_TRUE(semaphore.Post());

    // Another process takes the count and exits without giving it back.
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        CoreUnixSemaphore taker;
        ::_exit(taker.OpenCreate(Name()) && taker.TryWait() ? 0 : 1);
    }
    ASSERT_EQ(WaitForChild(child, 10s), 0);

    CoreUnixSemaphore fresh;
    ASSERT_TRUE(fresh.OpenCreate(Name()));
    EXPECT_FALSE(fresh.TryWait());
    EXPECT_TRUE(fresh.Post());
    EXPECT_TRUE(semaphore.TryWait());
    EXPECT_TRUE(semaphore.Post());

    // Closing keeps the name and its count.
    EXPECT_TRUE(fresh.Close());
    EXPECT_FALSE(fresh.IsOpen());
    EXPECT_EQ(ReadRecord(mName).value, 1u);
}

TEST_F(SemaphoreTest, ANotOpenSemaphoreRefusesEveryOperation) {
    CoreUnixSemaphore semaphore;
    EXPECT_FALSE(semaphore.Post());
    EXPECT_FALSE(semaphore.Wait());
    EXPECT_FALSE(semaphore.TryWait());
    EXPECT_FALSE(semaphore.TimedWait(0.01));

    const kCoreLogOutput saved = CoreMachDebugLogGetUseLogger();
    CoreMachDebugLogSetUseLogger(kCoreLogToASL);
    testing::internal::CaptureStderr();
    const bool closed = semaphore.Close();
    const std::string log = testing::internal::GetCapturedStderr();
    CoreMachDebugLogSetUseLogger(saved);
    EXPECT_FALSE(closed);
    EXPECT_NE(log.find("VERIFY FAILED:  code : _semaphore_id!=NULL"), std::string::npos) << log;
    EXPECT_NE(log.find("(Close)"), std::string::npos) << log;

    // Init makes an object not open without touching any semaphore.
    ASSERT_TRUE(semaphore.OpenCreate(Name()));
    semaphore.Init();
    EXPECT_FALSE(semaphore.IsOpen());
    EXPECT_FALSE(semaphore.TryWait());
    EXPECT_EQ(ReadRecord(mName).value, 1u);
}

TEST_F(SemaphoreTest, WaitBlocksUntilAnotherProcessPosts) {
    CoreUnixSemaphore semaphore;
    ASSERT_TRUE(semaphore.OpenCreate(Name()));
    ASSERT_TRUE(semaphore.TryWait());

    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        CoreUnixSemaphore waiter;
        if (!waiter.OpenCreate(Name()) || !waiter.Wait()) ::_exit(1);
        ::_exit(waiter.Post() ? 0 : 2);
    }
    const int early = WaitForChild(child, 200ms);
    if (early != -1) {
        ADD_FAILURE() << "the waiter returned while the count was 0, status " << early;
        return;
    }
    EXPECT_TRUE(semaphore.Post());
    const int status = WaitForChild(child, 10s);
    if (status == -1) KillChild(child);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadRecord(mName).value, 1u);
    EXPECT_EQ(ReadRecord(mName).nwaiters, 0u);
}

TEST_F(SemaphoreTest, TimedWaitGivesUpAndLeavesNoWaiterBehind) {
    CoreUnixSemaphore semaphore;
    ASSERT_TRUE(semaphore.OpenCreate(Name()));
    EXPECT_TRUE(semaphore.TimedWait(0.2));
    EXPECT_FALSE(semaphore.TimedWait(0.2));
    EXPECT_FALSE(semaphore.TryWait());
    EXPECT_EQ(ReadRecord(mName).value, 0u);
    EXPECT_EQ(ReadRecord(mName).nwaiters, 0u);
    EXPECT_TRUE(semaphore.Post());
}

std::atomic<int> gSignalsSeen{0};

void CountSignal(int) {
    ++gSignalsSeen;
}

TEST_F(SemaphoreTest, AWaitInterruptedByASignalReturnsFalse) {
    CoreUnixSemaphore semaphore;
    ASSERT_TRUE(semaphore.OpenCreate(Name()));
    ASSERT_TRUE(semaphore.TryWait());

    struct sigaction action {
    }, saved{};
    action.sa_handler = CountSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &saved), 0);

    std::atomic<int> result{-1};
    std::thread waiter([&] { result = semaphore.Wait() ? 1 : 0; });
    // A signal that lands before the waiter sleeps is simply handled: keep sending.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (result.load() == -1 && std::chrono::steady_clock::now() < deadline) {
        ::pthread_kill(waiter.native_handle(), SIGUSR1);
        std::this_thread::sleep_for(50ms);
    }
    if (result.load() == -1) semaphore.Post(); // let the thread finish; the check below fails
    waiter.join();
    ::sigaction(SIGUSR1, &saved, nullptr);

    EXPECT_EQ(result.load(), 0);
    EXPECT_GT(gSignalsSeen.load(), 0);
    EXPECT_EQ(ReadRecord(mName).nwaiters, 0u);
    EXPECT_TRUE(semaphore.Post());
    EXPECT_EQ(ReadRecord(mName).value, 1u);
}

} // namespace
