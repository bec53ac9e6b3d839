#include "platform/session/PlatformSession.h"
#include "tests/support/TestSupport.h"

#include <cerrno>
#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <pwd.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform::session;
using testsupport::Exists;

namespace {

constexpr const char* kSeat = "/run/systemd/seats/seat0";

TEST(SessionTest, ConsoleUserIsTheEffectiveUserWithoutLogind) {
    if (Exists(kSeat)) GTEST_SKIP() << "logind names the console user here";
    const passwd* pw = ::getpwuid(::geteuid());
    ASSERT_NE(pw, nullptr);
    const std::optional<std::string> user = ConsoleUserName();
    ASSERT_TRUE(user.has_value());
    EXPECT_EQ(*user, pw->pw_name);
}

TEST(SessionTest, UserWithoutAccountEntryHasNoName) {
    if (Exists(kSeat)) GTEST_SKIP() << "logind names the console user here";
    if (::geteuid() != 0) GTEST_SKIP() << "changing user needs root";
    constexpr uid_t kUnmapped = 54321;
    if (::getpwuid(kUnmapped)) GTEST_SKIP() << "uid " << kUnmapped << " has an account here";
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setuid(kUnmapped) != 0) ::_exit(2);
        ::_exit(ConsoleUserName().has_value() ? 1 : 0);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) == -1 && errno == EINTR) {
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: a name was given; 2: setuid failed";
}

TEST(SessionTest, SystemVersionWordHonoursHexAndIgnoresGarbage) {
    const char* old = std::getenv("VISTREL_SYSTEM_VERSION");
    const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;

    ::unsetenv("VISTREL_SYSTEM_VERSION");
    EXPECT_EQ(SystemVersionWord(), kModernSystemVersion);
    EXPECT_GE(kModernSystemVersion, 0x1070u);
    const std::pair<const char*, uint32_t> cases[] = {
        {"0x1050", 0x1050},
        {"1068", 0x1068},
        {"0X1040", 0x1040},
        {"", kModernSystemVersion},
        {"garbage", kModernSystemVersion},
        {"0x1050zz", kModernSystemVersion},
        {"0x12345", kModernSystemVersion},
    };
    for (const auto& [text, expected] : cases) {
        ::setenv("VISTREL_SYSTEM_VERSION", text, 1);
        EXPECT_EQ(SystemVersionWord(), expected) << '"' << text << '"';
    }

    if (saved)
        ::setenv("VISTREL_SYSTEM_VERSION", saved->c_str(), 1);
    else
        ::unsetenv("VISTREL_SYSTEM_VERSION");
}

} // namespace
