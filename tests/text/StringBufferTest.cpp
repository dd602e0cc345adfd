#include "text/StringBuffer.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>

namespace vosk {
namespace {

// Two buffers never share storage.
static_assert(!std::is_copy_constructible_v<StringBuffer> &&
              !std::is_copy_assignable_v<StringBuffer>);

TEST(StringBuffer, StartsEmpty) {
    StringBuffer b;
    EXPECT_EQ(b.Length(), 0);
    EXPECT_EQ(b.Capacity(), 256);
    EXPECT_STREQ(b.CStr(), "");
    EXPECT_EQ(b.LastChar(), 0);
    StringBuffer fromNull(nullptr);
    EXPECT_STREQ(fromNull.CStr(), "");
}

TEST(StringBuffer, AssignGrowth) {
    struct Case {
        size_t length;
        int32_t capacity;
    };
    // 300 reserves against a room of 256: +max(256, 44). 256 fills the
    // storage and the terminating NUL doubles it. 600 grows to 600 first.
    const Case cases[] = {{0, 256}, {255, 256}, {256, 512}, {300, 512}, {600, 1200}};
    for (const Case& c : cases) {
        std::string text(c.length, 'a');
        StringBuffer b(text.c_str());
        EXPECT_EQ(b.Capacity(), c.capacity) << c.length;
        EXPECT_EQ(b.Length(), static_cast<int32_t>(c.length));
        EXPECT_EQ(std::string(b.CStr()), text);
    }
}

TEST(StringBuffer, AssignReplacesAndNullEmpties) {
    StringBuffer b("first value");
    b = "second";
    EXPECT_STREQ(b.CStr(), "second");
    EXPECT_EQ(b.LastChar(), 'd');
    StringBuffer& result = b.Assign(nullptr);
    EXPECT_EQ(&result, &b);
    EXPECT_EQ(b.Length(), 0);
    EXPECT_STREQ(b.CStr(), "");
    // A newline inside is stored like any byte.
    b = "a\nb";
    EXPECT_STREQ(b.CStr(), "a\nb");
}

TEST(StringBuffer, AssignFromItsOwnStorage) {
    StringBuffer b("  leading");
    b = b.CStr();
    EXPECT_STREQ(b.CStr(), "  leading");
    b = b.CStr() + 2;
    EXPECT_STREQ(b.CStr(), "leading");
    EXPECT_EQ(b.Length(), 7);
}

TEST(StringBuffer, ResetTerminateCursor) {
    StringBuffer b("abc");
    EXPECT_EQ(b.Cursor(), b.Data() + 3);
    b.Put('d');
    b.Terminate();
    EXPECT_EQ(b.Length(), 4);
    EXPECT_STREQ(b.Data(), "abcd");
    b.Reset();
    EXPECT_EQ(b.Length(), 0);
    EXPECT_EQ(b.Room(), b.Capacity());
    EXPECT_STREQ(b.Data(), "");
    EXPECT_EQ(b.LastChar(), 'd');  // Reset leaves it
}

TEST(StringBuffer, TerminateAndCStrOnAFullBufferGrow) {
    StringBuffer b;
    for (int i = 0; i < 256; ++i) {
        b.Put('x');
    }
    EXPECT_EQ(b.Room(), 0);
    EXPECT_EQ(std::string(b.CStr()), std::string(256, 'x'));
    EXPECT_EQ(b.Capacity(), 512);
    EXPECT_EQ(b.Length(), 256);
}

TEST(StringBuffer, Trim) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"  a b \t", "a b"}, {"\t \t", ""}, {"abc", "abc"},     {"", ""},
        {"\tx", "x"},        {"x  ", "x"},  {" a\tb ", "a\tb"},
    };
    for (const Case& c : cases) {
        StringBuffer b(c.in);
        b.Trim();
        EXPECT_STREQ(b.CStr(), c.out) << '"' << c.in << '"';
        EXPECT_EQ(b.Length(), static_cast<int32_t>(std::string(c.out).size()));
    }
}

TEST(StringBuffer, CompareWithText) {
    struct Case {
        const char* content;
        const char* text;
        bool equal;
    };
    const Case cases[] = {
        {"abc", "abc", true}, {"abc", "ABC", false},   {"abc", "ab", false}, {"ab", "abc", false},
        {"", "", true},       {"abc", nullptr, false}, {"", nullptr, false},
    };
    for (const Case& c : cases) {
        StringBuffer b(c.content);
        EXPECT_EQ(b == c.text, c.equal) << c.content;
        EXPECT_EQ(b != c.text, !c.equal) << c.content;
    }
}

TEST(StringBuffer, CompareTwoBuffers) {
    StringBuffer a("abc"), b("abc"), c("abd"), e1, e2;
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a != b);
    EXPECT_FALSE(a == c);
    EXPECT_TRUE(a != c);
    EXPECT_TRUE(e1 == e2);
    EXPECT_TRUE(a == a);
}

TEST(StringBuffer, AppendInt) {
    struct Case {
        int32_t v;
        const char* text;
    };
    const Case cases[] = {
        {0, "0"}, {7, "7"}, {-1, "-1"}, {INT32_MAX, "2147483647"}, {INT32_MIN, "-2147483648"}};
    for (const Case& c : cases) {
        StringBuffer b("n=");
        EXPECT_EQ(b.AppendInt(c.v), static_cast<int32_t>(std::string(c.text).size()));
        EXPECT_EQ(std::string(b.CStr()), std::string("n=") + c.text);
    }
    // Less than 16 bytes of room: grows first.
    StringBuffer full(std::string(250, 'a').c_str());
    EXPECT_EQ(full.AppendInt(123), 3);
    EXPECT_EQ(full.Capacity(), 512);
    EXPECT_EQ(std::string(full.CStr()), std::string(250, 'a') + "123");
}

TEST(StringBuffer, FormatReplacesContentAndReturnsTheBuffer) {
    StringBuffer b("old text that is longer");
    StringBuffer& result = b.Format("%s/%s", "dir", "name.log");
    EXPECT_EQ(&result, &b);
    EXPECT_STREQ(b.CStr(), "dir/name.log");
    EXPECT_STREQ(b.Format("%s.bak", "x").CStr(), "x.bak");
    // Longer than the initial storage.
    std::string longName(1000, 'n');
    EXPECT_EQ(std::string(b.Format("%s/%s", "d", longName.c_str()).CStr()), "d/" + longName);
}

}  // namespace
}  // namespace vosk
