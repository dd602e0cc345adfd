#include "LineSplitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vosklog {
namespace {

struct Line {
    std::string text;
    std::string end;
    bool continued = false;
    bool operator==(const Line& o) const {
        return text == o.text && end == o.end && continued == o.continued;
    }
};

std::ostream& operator<<(std::ostream& out, const Line& l) {
    return out << "{" << testing::PrintToString(l.text) << ", " << testing::PrintToString(l.end)
               << (l.continued ? ", continued" : "") << "}";
}

// The lines of input fed in pieces of the given size.
std::vector<Line> Split(const std::string& input, size_t piece, size_t maxLine = 0) {
    std::vector<Line> lines;
    LineSplitter splitter(maxLine, [&lines](const LinePiece& p) {
        lines.push_back({std::string(p.data, p.length), std::string(p.data + p.length, p.endLength),
                         p.continued});
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
    // Without a longest line, and with one that no line reaches.
    for (size_t maxLine : {0, 9}) {
        for (size_t piece = 1; piece <= input.size(); ++piece) {
            SCOPED_TRACE(testing::Message() << "piece " << piece << " max " << maxLine);
            EXPECT_EQ(Split(input, piece, maxLine), expected);
        }
    }
}

TEST(LineSplitterTest, EmptyInputGivesNoLineAndAFinalLineEndNoExtraLine) {
    EXPECT_TRUE(Split("", 1).empty());
    EXPECT_EQ(Split("a\n", 1), (std::vector<Line>{{"a", "\n"}}));
}

TEST(LineSplitterTest, WithoutALongestLineALongLineIsOneLine) {
    const std::string big(3 << 20, 'x');
    std::vector<Line> lines = Split(big + "\n" + big, 65536);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, big);
    EXPECT_EQ(lines[1], (Line{big, ""}));
}

TEST(LineSplitterTest, ALineLongerThanTheLongestComesInMarkedPieces) {
    struct Case {
        std::string input;
        std::vector<Line> expected;
    };
    const Case cases[] = {
        {"abcd\n", {{"abcd", "\n"}}},
        {"abcde\n", {{"abcd", ""}, {"e", "\n", true}}},
        {"abcdefgh\n", {{"abcd", ""}, {"efgh", "\n", true}}},
        {"abcdefghi\r\n", {{"abcd", ""}, {"efgh", "", true}, {"i", "\r\n", true}}},
        // A CR after a full piece: the line end, or content of the next.
        {"abcd\r\n", {{"abcd", "\r\n"}}},
        {"abcd\rx\n", {{"abcd", ""}, {"\rx", "\n", true}}},
        {"abcd\r\r\n", {{"abcd", ""}, {"\r", "\r\n", true}}},
        // No line end: pieces while it is read, the rest at the finish.
        {"abcdefghij", {{"abcd", ""}, {"efgh", "", true}, {"ij", "", true}}},
        {"abcd\r", {{"abcd", ""}, {"\r", "", true}}},
        // The line after a cut one starts unmarked.
        {"abcdef\ngh\n", {{"abcd", ""}, {"ef", "\n", true}, {"gh", "\n"}}},
        {"abcde\r\n\n", {{"abcd", ""}, {"e", "\r\n", true}, {"", "\n"}}},
    };
    for (const Case& c : cases) {
        for (size_t piece = 1; piece <= c.input.size(); ++piece) {
            SCOPED_TRACE(testing::Message()
                         << testing::PrintToString(c.input) << " piece " << piece);
            EXPECT_EQ(Split(c.input, piece, 4), c.expected);
        }
    }
}

TEST(LineSplitterTest, PiecesJoinBackToTheInput) {
    std::string input;
    for (int i = 0; i < 400; ++i) {
        input += std::string(static_cast<size_t>(i * 7 % 61), static_cast<char>('a' + i % 26));
        input += i % 5 == 0 ? "\r\n" : i % 7 == 0 ? "\r" : "\n";
    }
    for (size_t piece : {1, 3, 64, 4096}) {
        SCOPED_TRACE(piece);
        std::string joined;
        for (const Line& line : Split(input, piece, 16)) {
            EXPECT_LE(line.text.size(), 16u);
            joined += line.text + line.end;
        }
        EXPECT_EQ(joined, input);
    }
}

TEST(LineSplitterTest, KeepsOnlyTheUnfinishedLine) {
    LineSplitter splitter(0, [](const LinePiece&) {});
    splitter.Feed("abc\nde", 6);
    EXPECT_EQ(splitter.Pending(), 2u);
    splitter.Feed("f\n", 2);
    EXPECT_EQ(splitter.Pending(), 0u);
}

TEST(LineSplitterTest, WhatIsKeptOfALineWithoutEndStaysBounded) {
    constexpr size_t kMax = 8192;
    size_t pieces = 0;
    size_t bytes = 0;
    LineSplitter splitter(kMax, [&](const LinePiece& p) {
        EXPECT_EQ(p.length, kMax);
        EXPECT_EQ(p.continued, pieces != 0);
        ++pieces;
        bytes += p.length;
    });
    const std::string chunk(65536 + 5, 'e');
    for (int i = 0; i < 800; ++i) {  // about 50 MB
        splitter.Feed(chunk.data(), chunk.size());
        ASSERT_LE(splitter.Pending(), kMax + 1);
    }
    EXPECT_EQ(bytes + splitter.Pending(), chunk.size() * 800);
}

}  // namespace
}  // namespace vosklog
