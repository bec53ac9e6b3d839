#include "channel/CoreUserFileName.h"
#include "channel/SharedCameraFormat.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// With a logged-in desktop session the console user is not necessarily this process's user.
bool HasConsoleSeat() {
    return testsupport::Exists("/run/systemd/seats/seat0");
}

std::string ProcessUserName() {
    const struct passwd* pw = ::getpwuid(::geteuid());
    return pw ? pw->pw_name : "";
}

TEST(CoreUserFileName, FormatDirectivesAreReplaced) {
    if (HasConsoleSeat()) GTEST_SKIP() << "a console seat names a user of its own";
    const std::string user = ProcessUserName();
    ASSERT_FALSE(user.empty());

    const CoreUserFileName empty;
    EXPECT_STREQ(empty, "");
    const CoreUserFileName noFormat(nullptr, "ignored");
    EXPECT_STREQ(noFormat, "");

    const CoreUserFileName name("/tmp/a-%@-b-%s-100%%.tmp", "640x480-ARGB");
    EXPECT_EQ(std::string(name.c_str()), "/tmp/a-" + user + "-b-640x480-ARGB-100%.tmp");

    const CoreUserFileName channel(SharedCamera::kFileMappingFormat,
                                   SharedCamera::kFrameFormatName);
    EXPECT_EQ(std::string(channel), "/tmp/com-tarnwick-" + user + "-Vstrl-1.705-640x480-ARGB.tmp");

    // A later build replaces the whole path, also with a shorter one.
    CoreUserFileName reused("/tmp/a-long-first-path-%s", "x");
    reused.CreateFileName("/s%s", "y");
    EXPECT_STREQ(reused, "/sy");
}

TEST(CoreUserFileName, APathThatDoesNotFitIsNotCopied) {
    const size_t capacity = CoreUserFileName::kCapacity;
    CoreUserFileName name;
    name.CreateFileName("%s", std::string(capacity, 'x').c_str());
    EXPECT_STREQ(name, "");

    // The longest path that fits, with its terminator, replaces the old one whole.
    const std::string longest(capacity - 1, 'y');
    name.CreateFileName("%s", longest.c_str());
    EXPECT_EQ(std::string(name.c_str()), longest);

    name.CreateFileName("/old", nullptr);
    ASSERT_STREQ(name, "/old");
    name.CreateFileName("/%s", std::string(capacity - 1, 'z').c_str());
    EXPECT_STREQ(name, "/old");
}

TEST(CoreUserFileName, AMalformedFormatKeepsTheOldPath) {
    CoreUserFileName name;
    name.CreateFileName("/tmp/%d", "x");
    EXPECT_STREQ(name, "");
    name.CreateFileName("/old", nullptr);
    for (const char* format : {"/tmp/%d-%s", "/tmp/%s%", "/tmp/%x"}) {
        name.CreateFileName(format, "arg");
        EXPECT_STREQ(name, "/old") << format;
    }
}

TEST(CoreUserFileName, AUserWithoutAnAccountGetsNoPath) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to change user";
    if (HasConsoleSeat()) GTEST_SKIP() << "a console seat names a user of its own";
    constexpr uid_t kNoAccount = 54321;
    if (::getpwuid(kNoAccount)) GTEST_SKIP() << "uid 54321 has an account here";

    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        CoreUserFileName kept("/tmp/old-%s", "x");
        if (::setgid(kNoAccount) != 0 || ::setuid(kNoAccount) != 0) ::_exit(3);
        CoreUserFileName fresh("/tmp/%@-%s", "x");
        kept.CreateFileName("/tmp/%@-%s", "y");
        if (fresh.c_str()[0] != '\0') ::_exit(1);
        ::_exit(std::string(kept) == "/tmp/old-x" ? 0 : 2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: a path was built, 2: the old path changed, 3: setuid";
}

} // namespace
