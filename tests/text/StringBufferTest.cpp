#include "text/StringBuffer.h"

#include <gtest/gtest.h>

#include <string>

namespace vosk {
namespace {

TEST(StringBuffer, StartsEmpty) {
    StringBuffer b;
    EXPECT_EQ(b.Length(), 0);
    EXPECT_EQ(b.Capacity(), 256);
    EXPECT_STREQ(b.CStr(), "");
    EXPECT_EQ(b.LastChar(), 0);
}

TEST(StringBuffer, AssignAndCompare) {
    StringBuffer b("abc");
    EXPECT_STREQ(b.CStr(), "abc");
    EXPECT_TRUE(b == "abc");
    EXPECT_FALSE(b == "ABC");
    EXPECT_FALSE(b == "ab");
    EXPECT_FALSE(b == nullptr);
    EXPECT_TRUE(b != nullptr);
    b = nullptr;
    EXPECT_EQ(b.Length(), 0);
}

TEST(StringBuffer, FormatReplacesContent) {
    StringBuffer b("old text");
    StringBuffer& result = b.Format("%s/%s", "dir", "name.log");
    EXPECT_EQ(&result, &b);
    EXPECT_STREQ(b.CStr(), "dir/name.log");
}

}  // namespace
}  // namespace vosk
