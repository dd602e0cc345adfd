#include "LevelPrefix.h"

#include <gtest/gtest.h>

#include <string>

namespace vosklog {
namespace {

TEST(LevelPrefixTest, OnlyADecimalLevelInBracketsAtTheStartIsAPrefix) {
    struct Case {
        std::string line;
        size_t prefix;
        int32_t level;  // -999 when untouched
    };
    const Case cases[] = {
        {"<3>text", 3, 3},
        {"<0>", 3, 0},
        {"<7> spaced", 3, 7},
        {"<12>x", 4, 12},
        {"<-2>x", 4, -2},
        {"<2147483647>x", 12, 2147483647},
        {"<-2147483648>x", 13, INT32_MIN},
        {"<2147483648>x", 0, -999},
        {"<-2147483649>x", 0, -999},
        {"<99999999999999999999>x", 0, -999},
        {"<>x", 0, -999},
        {"<->x", 0, -999},
        {"<x>", 0, -999},
        {"<3", 0, -999},
        {"<3x>", 0, -999},
        {" <3>x", 0, -999},
        {"<+3>x", 0, -999},
        {"3>x", 0, -999},
        {"", 0, -999},
        {std::string("<3\0>", 4), 0, -999},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        int32_t level = -999;
        EXPECT_EQ(ParseLevelPrefix(c.line.data(), c.line.size(), &level), c.prefix);
        EXPECT_EQ(level, c.level);
    }
}

TEST(LevelPrefixTest, NeverReadsBeyondTheLine) {
    // The bytes after the given length would complete a prefix.
    const char text[] = "<12>";
    int32_t level = -999;
    for (size_t n = 0; n < 4; ++n) {
        EXPECT_EQ(ParseLevelPrefix(text, n, &level), 0u) << n;
    }
    EXPECT_EQ(level, -999);
}

}  // namespace
}  // namespace vosklog
