// The version is read once per process, so each case runs in a child of its own.
#include "core/CoreSystem.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

// Exits 0 when the version the child reads matches, else prints what it saw and exits 1.
[[noreturn]] void CheckVersionInChild(const char* environment, bool (*matches)()) {
    if (environment)
        ::setenv("VISTREL_SYSTEM_VERSION", environment, 1);
    else
        ::unsetenv("VISTREL_SYSTEM_VERSION");
    if (matches()) std::_Exit(0);
    std::fprintf(stderr, "version 0x%x\n", unsigned(CoreSystem::GetVersion()));
    std::_Exit(1);
}

TEST(CoreSystemTest, OlderVersionIsKeptWithItsLowestFourBitsCleared) {
    EXPECT_EXIT(CheckVersionInChild("0x1068",
                                    [] {
                                        return CoreSystem::GetVersion() == 0x1060 &&
                                               CoreSystem::IsAtLeast(0x1060) &&
                                               CoreSystem::IsAtLeast(0x1040) &&
                                               !CoreSystem::IsAtLeast(0x1070);
                                    }),
                ::testing::ExitedWithCode(0), "");
}

TEST(CoreSystemTest, DefaultIsAModernVersion) {
    EXPECT_EXIT(CheckVersionInChild(nullptr,
                                    [] {
                                        return (CoreSystem::GetVersion() & 0xF) == 0 &&
                                               CoreSystem::GetVersion() >= 0x1070 &&
                                               CoreSystem::IsAtLeast(0x1070);
                                    }),
                ::testing::ExitedWithCode(0), "");
}

TEST(CoreSystemTest, VersionIsReadOnceAndKept) {
    EXPECT_EXIT(CheckVersionInChild("0x1050",
                                    [] {
                                        const bool first = CoreSystem::GetVersion() == 0x1050;
                                        ::setenv("VISTREL_SYSTEM_VERSION", "0x1070", 1);
                                        return first && CoreSystem::GetVersion() == 0x1050 &&
                                               !CoreSystem::IsAtLeast(0x1060);
                                    }),
                ::testing::ExitedWithCode(0), "");
}

} // namespace
