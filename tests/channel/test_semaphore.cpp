// Our semaphore header comes first: the C library's <semaphore.h> defines SEM_FAILED as a macro.
#include "channel/CoreUnixSemaphore.h"
#include "tests/support/ComponentBinding.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <sched.h>
#include <semaphore.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>

namespace {

using namespace std::chrono_literals;
using testsupport::Child;

// The record as it lies in /dev/shm: count, waiters, sharing flag, holder pid, its length.
std::string Header(uint32_t count, uint32_t waiters, uint32_t holderPid = 0, size_t length = 32) {
    const uint32_t words[3] = {count, waiters, 128};
    return std::string(reinterpret_cast<const char*>(words), 12) + "/" + std::to_string(holderPid) +
           "/" + std::to_string(length);
}

// Each test uses a name of its own and removes it, so no count leaks into the next test.
class SemaphoreTest : public testing::Test {
protected:
    void SetUp() override { ::sem_unlink(Name()); }
    void TearDown() override { ::sem_unlink(Name()); }
    const char* Name() const { return mName.c_str(); }
    std::string Path() const { return "/dev/shm/sem." + mName; }
    std::string HeaderNow() const {
        const std::string bytes = testsupport::ReadFile(Path());
        uint32_t pid = 0;
        if (bytes.size() >= 20) std::memcpy(&pid, bytes.data() + 16, 4);
        return bytes.substr(0, 12) + "/" + std::to_string(pid) + "/" + std::to_string(bytes.size());
    }
    // Sets the count and the holder word behind every process's back.
    void Plant(uint32_t count, uint64_t holder) const {
        ASSERT_TRUE(binding::PutAt(Path(), 0, count) && binding::PutAt(Path(), 16, holder));
    }

    const std::string mName = std::string("vistrel-test-") +
                              testing::UnitTest::GetInstance()->current_test_info()->name();
};

// The layout the 32-bit and 64-bit builds share is the 64-bit C library's, with the holder in
// bytes that library leaves unused. Only the holder releases, and only once.
TEST_F(SemaphoreTest, RecordIsTheSixtyFourBitCLibrarysAndOnlyItsHolderReleases) {
    const mode_t savedMask = ::umask(0);
    CoreUnixSemaphore ours;
    EXPECT_FALSE(ours.Post() || ours.Wait() || ours.TryWait() || ours.TimedWait(0.01) ||
                 ours.Close())
        << "a lock that is not open";
    const bool opened = ours.OpenCreate(Name());
    ::umask(savedMask);
    ASSERT_TRUE(opened);
    struct stat st {};
    ASSERT_EQ(::stat(Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u) << "the umask must not widen the mode";
    EXPECT_EQ(HeaderNow(), Header(1, 0));

    sem_t* theirs = ::sem_open(Name(), 0);
    ASSERT_NE(theirs, SEM_FAILED) << std::strerror(errno);
    ASSERT_EQ(::sem_trywait(theirs), 0);
    EXPECT_EQ(HeaderNow(), Header(0, 0));
    ::sem_close(theirs);
    EXPECT_FALSE(ours.Post()) << "no holder was recorded: nobody may release";
    Plant(1, 0);
    EXPECT_FALSE(ours.Post()) << "an unlock of a free lock";
    ASSERT_TRUE(ours.Wait());
    EXPECT_EQ(HeaderNow(), Header(0, 0, uint32_t(::getpid())));
    EXPECT_FALSE(ours.TryWait());
    Child other([&] {
        CoreUnixSemaphore mine;
        return mine.OpenCreate(Name()) && !mine.Post() && !mine.TryWait() ? 0 : 1;
    });
    ASSERT_TRUE(other.Wait());
    EXPECT_EQ(other.exitCode, 0) << "another process released or took a held lock";
    EXPECT_TRUE(ours.Post());
    EXPECT_FALSE(ours.Post()) << "released twice";
    EXPECT_EQ(HeaderNow(), Header(1, 0));
    // A record of another user is refused.
    ASSERT_TRUE(ours.Close());
    if (::chown(Path().c_str(), 54321, 54321) != 0) GTEST_SKIP() << "needs root";
    EXPECT_FALSE(ours.OpenCreate(Name()));
}

// A lock whose holder is gone is taken over by whoever wants it next: a waiter, at its next
// check, or a single try.
TEST_F(SemaphoreTest, ALockOfADeadHolderIsRecovered) {
    CoreUnixSemaphore lock;
    ASSERT_TRUE(lock.OpenCreate(Name()));
    // A holder killed while holding: a waiter recovers the lock at its next check.
    Child holder([&] {
        CoreUnixSemaphore mine;
        return mine.OpenCreate(Name()) && mine.TryWait() ? ::pause() : 1;
    });
    while (HeaderNow() == Header(1, 0))
        std::this_thread::sleep_for(5ms);
    std::thread killer([&] {
        std::this_thread::sleep_for(300ms);
        holder.Kill(SIGKILL);
    });
    EXPECT_TRUE(lock.TimedWait(5)) << "a waiter did not recover the lock";
    killer.join();
    EXPECT_TRUE(lock.Post());
    // A single try recovers the lock of a holder word whose pid is gone (one above the largest
    // the kernel gives), or lives but started at another time (a reused pid); a taken lock with
    // no holder is recovered once it has stayed so for a while.
    // (A holder word is the pid and the low half of its start time, as /proc tells it.)
    for (uint64_t word : {uint64_t(1 << 22) + 1,
                          uint64_t(uint32_t(::getppid())) | uint64_t(12345) << 32, uint64_t(0)}) {
        Plant(0, word);
        EXPECT_EQ(lock.TryWait(), word != 0) << word;
        EXPECT_TRUE(word != 0 || lock.TimedWait(5));
        EXPECT_TRUE(lock.Post());
    }
    EXPECT_EQ(HeaderNow(), Header(1, 0));
}

// A holder that died holding, whose id a new process then got (asked for on purpose in a private
// PID namespace), is dead all the same: the id and the start time together name the holder.
TEST_F(SemaphoreTest, AReusedProcessIdNeverCountsAsTheHolder) {
    CoreUnixSemaphore lock;
    ASSERT_TRUE(lock.OpenCreate(Name()));
    Child outer([&] {
        // Its children start a PID namespace, whose /proc a mount namespace of its own shows.
        if (::unshare(CLONE_NEWPID | CLONE_NEWNS) != 0) return 77;
        Child init([&] {
            if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount("proc", "/proc", "proc", 0, nullptr) != 0)
                return 2;
            Child holder([&] { return lock.TryWait() ? 0 : 1; });
            if (!holder.Wait() || holder.exitCode != 0) return 3;
            std::this_thread::sleep_for(50ms); // a later clock tick: another start time
            testsupport::WriteFile("/proc/sys/kernel/ns_last_pid",
                                   std::to_string(holder.Pid() - 1));
            Child reuser([] { return ::pause(); }); // killed when it goes out of scope
            if (reuser.Pid() != holder.Pid()) return 4;
            return lock.TryWait() && lock.Post() ? 0 : 5;
        });
        return init.Wait() ? init.exitCode : 6;
    });
    ASSERT_TRUE(outer.Wait());
    if (outer.exitCode == 77) GTEST_SKIP() << "this machine gives no private PID namespace";
    EXPECT_EQ(outer.exitCode, 0) << "4: the id did not come back; 5: its new process held the lock";
}

// A lock held by a living process is waited for; a signal handler that runs ends the wait,
// SA_RESTART or not, and a timed wait leaves no waiter behind.
TEST_F(SemaphoreTest, WaitsEndOnSignalsAndTimeouts) {
    CoreUnixSemaphore lock;
    ASSERT_TRUE(lock.OpenCreate(Name()));
    ASSERT_TRUE(lock.TryWait());
    for (int flags : {0, SA_RESTART}) {
        Child waiter([&] {
            struct sigaction action {};
            action.sa_handler = [](int) {};
            action.sa_flags = flags;
            ::sigaction(SIGTERM, &action, nullptr);
            CoreUnixSemaphore mine;
            return mine.OpenCreate(Name()) && !mine.Wait() ? 0 : 1;
        });
        EXPECT_FALSE(waiter.Wait(0.5)) << "the wait ended while the holder lives";
        waiter.Kill(SIGTERM);
        ASSERT_TRUE(waiter.Wait());
        EXPECT_EQ(waiter.exitCode, 0) << flags;
    }
    EXPECT_FALSE(lock.TimedWait(0.2));
    EXPECT_EQ(HeaderNow(), Header(0, 0, uint32_t(::getpid())));
    EXPECT_TRUE(lock.Post());
}

} // namespace
