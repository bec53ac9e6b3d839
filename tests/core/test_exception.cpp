#include "core/CoreException.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

TEST(CoreExceptionTest, MessageIsFormattedIntoOneSharedBuffer) {
    const CoreException first("OSErr: %d", -43);
    EXPECT_STREQ(first.Message(), "OSErr: -43");

    // All exceptions share the text: a second one rewrites what the first points at.
    const CoreException second("Nil exception pointer");
    EXPECT_EQ(first.Message(), second.Message());
    EXPECT_STREQ(first.Message(), "Nil exception pointer");
}

TEST(CoreExceptionTest, IsThrownByValueWithItsMessage) {
    try {
        throw CoreException("OSErr: %d", -36);
    } catch (const CoreException& caught) {
        EXPECT_STREQ(caught.Message(), "OSErr: -36");
        return;
    }
    FAIL() << "not caught";
}

TEST(CoreExceptionTest, LongMessageIsCutTo2047Characters) {
    const std::string exact(2047, 'a'), over(3000, 'b');
    const CoreException fits("%s", exact.c_str());
    EXPECT_EQ(std::string(fits.Message()), exact);
    const CoreException cut("%s%s", over.c_str(), "tail");
    EXPECT_EQ(std::strlen(cut.Message()), 2047u);
    EXPECT_EQ(std::string(cut.Message()), over.substr(0, 2047));
}

} // namespace
