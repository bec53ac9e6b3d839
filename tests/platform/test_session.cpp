#include "platform/session/PlatformSession.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

using namespace platform::session;

namespace {

constexpr uid_t kNoAccount = 54321;

TEST(SessionTest, WithoutLogindTheConsoleUserIsTheEffectiveUserIfItHasAName) {
    if (testsupport::Exists("/run/systemd/seats/seat0"))
        GTEST_SKIP() << "logind names the console user here";
    const passwd* pw = ::getpwuid(::geteuid());
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(ConsoleUserName().value_or("(none)"), pw->pw_name);

    if (::geteuid() != 0 || ::getpwuid(kNoAccount)) GTEST_SKIP() << "cannot become a nameless user";
    testsupport::Child child([] {
        if (::setuid(kNoAccount) != 0) return 2;
        return ConsoleUserName() ? 1 : 0;
    });
    ASSERT_TRUE(child.Wait());
    EXPECT_EQ(child.exitCode, 0) << "1: a name was given; 2: setuid failed";
}

TEST(SessionTest, SystemVersionWordHonoursHexAndIgnoresGarbage) {
    const std::pair<const char*, uint32_t> cases[] = {
        {nullptr, kModernSystemVersion}, {"1068", 0x1068}, {"0x1050zz", kModernSystemVersion}};
    for (const auto& [text, expected] : cases) {
        testsupport::ScopedEnv version("VISTREL_SYSTEM_VERSION", text);
        EXPECT_EQ(SystemVersionWord(), expected) << (text ? text : "(unset)");
    }
}

} // namespace
