#include "LineSplitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vosklog {
namespace {

struct Line {
    std::string text;
    std::string end;
    bool operator==(const Line& o) const { return text == o.text && end == o.end; }
};

std::ostream& operator<<(std::ostream& out, const Line& l) {
    return out << "{" << testing::PrintToString(l.text) << ", " << testing::PrintToString(l.end)
               << "}";
}

// The lines of input fed in pieces of the given size.
std::vector<Line> Split(const std::string& input, size_t piece) {
    std::vector<Line> lines;
    LineSplitter splitter([&lines](const char* line, size_t length, size_t endLength) {
        lines.push_back({std::string(line, length), std::string(line + length, endLength)});
    });
    for (size_t i = 0; i < input.size(); i += piece) {
        splitter.Feed(input.data() + i, std::min(piece, input.size() - i));
    }
    splitter.Finish();
    return lines;
}

TEST(LineSplitterTest, LinesAreTheSameHoweverTheInputIsCut) {
    const std::string nul("n\0l", 3);
    const std::string input = "one\ntwo\r\n\n\r\n%s%n\r" + nul + "\n\xff\xfe\nlone\rcr\nlast\r";
    const std::vector<Line> expected = {
        {"one", "\n"},      {"two", "\r\n"},        {"", "\n"},
        {"", "\r\n"},       {"%s%n\r" + nul, "\n"}, {"\xff\xfe", "\n"},
        {"lone\rcr", "\n"}, {"last\r", ""},  // no line end: handed out at the finish, CR and all
    };
    for (size_t piece = 1; piece <= input.size(); ++piece) {
        SCOPED_TRACE(piece);
        EXPECT_EQ(Split(input, piece), expected);
    }
}

TEST(LineSplitterTest, EmptyInputGivesNoLineAndAFinalLineEndNoExtraLine) {
    EXPECT_TRUE(Split("", 1).empty());
    EXPECT_EQ(Split("a\n", 1), (std::vector<Line>{{"a", "\n"}}));
}

TEST(LineSplitterTest, ALongLineIsOneLine) {
    const std::string big(3 << 20, 'x');
    std::vector<Line> lines = Split(big + "\n" + big, 65536);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, big);
    EXPECT_EQ(lines[1], (Line{big, ""}));
}

TEST(LineSplitterTest, KeepsOnlyTheUnfinishedLine) {
    LineSplitter splitter([](const char*, size_t, size_t) {});
    splitter.Feed("abc\nde", 6);
    EXPECT_EQ(splitter.Pending(), 2u);
    splitter.Feed("f\n", 2);
    EXPECT_EQ(splitter.Pending(), 0u);
}

}  // namespace
}  // namespace vosklog
