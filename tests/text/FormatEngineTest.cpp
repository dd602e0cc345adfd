// The printf-style engine: C99 printf's grammar and conversions, the counts
// it returns, and its handling of hostile formats. The byte-for-byte table
// against the C library is in PrintfTableTest.cpp.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/AppendFormat.h"
#include "text/FileStream.h"
#include "text/StringBuffer.h"

namespace vosk {
namespace {

using test::Append;

std::string Content(StringBuffer& b) {
    return std::string(b.CStr(), b.Length());
}

struct Case {
    const char* format;
    std::function<int32_t(TextBuffer&, const char*)> run;
    std::string expected;
    int32_t count;  // -1: the expected text's length
};

#define ARGS(...) [](TextBuffer& b, const char* f) { return Append(b, f, __VA_ARGS__); }
#define NOARGS [](TextBuffer& b, const char* f) { return Append(b, f); }

void RunCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        StringBuffer b;
        EXPECT_EQ(c.run(b, c.format),
                  c.count >= 0 ? c.count : static_cast<int32_t>(c.expected.size()));
        EXPECT_EQ(Content(b), c.expected);
    }
}

TEST(FormatEngine, Grammar) {
    RunCases({
        {"plain text", NOARGS, "plain text", 10},
        {"", NOARGS, "", 0},
        {"%%", NOARGS, "%", 1},
        {"100%% sure", NOARGS, "100% sure", 9},
        {"%5d", ARGS(42), "   42", 5},
        {"%-5d|", ARGS(42), "42   |", 6},
        {"%05d", ARGS(42), "00042", 5},
        {"%*d", ARGS(4, 7), "   7", 4},
        {"%-08.3ld", ARGS(5), "005     ", 8},
        // Flags in any order, repeated.
        {"%+-5d|", ARGS(5), "+5   |", 6},
        {"%0-5d|", ARGS(5), "5    |", 6},
        {"%--++5d|", ARGS(5), "+5   |", 6},
        {"% d|% d|%+ d", ARGS(3, -3, 3), " 3|-3|+3", 8},
        {"%#x %#X %#o %#x %#o", ARGS(255, 255, 8, 0, 0), "0xff 0XFF 010 0 0", 17},
        {"%#.0o|%.0o|%#5.3o", ARGS(0, 0, 8), "0||  010", 8},
        {"%#08x", ARGS(255), "0x0000ff", 8},
        {"%i %d", ARGS(5, 6), "5 6", 3},
        // Length modifiers give the argument its size.
        {"%hd %hhd %hu %hhu", ARGS(70000, 300, -1, -1), "4464 44 65535 255", 17},
        {"%ld %lx", ARGS(-5L, 255UL), "-5 ff", 5},
        {"%lld %llu", ARGS(-(1LL << 40), ~0ULL), "-1099511627776 18446744073709551615", 35},
        {"%jd %zu %zd %td", ARGS(INTMAX_MIN, SIZE_MAX, ptrdiff_t{-3}, ptrdiff_t{-4}),
         std::to_string(INTMAX_MIN) + " " + std::to_string(SIZE_MAX) + " -3 -4", -1},
        {"%Ld", ARGS(-7LL), "-7", 2},
        // %n takes its pointer and stores nothing; the next conversion
        // takes the argument after it.
        {"%n|%d", ARGS(static_cast<int*>(nullptr), 3), "|3", 2},
        {"%hhn%lln%zn%d",
         ARGS(static_cast<void*>(nullptr), static_cast<void*>(nullptr), static_cast<void*>(nullptr),
              4),
         "4", 1},
        // A letter that is no conversion produces nothing and takes nothing.
        {"%1$d", ARGS(3), "d", 1},
        {"%q%d", ARGS(3), "3", 1},
        {"%hq%d", ARGS(3), "3", 1},
        {"%5%|%-3%", NOARGS, "%|%", 3},
        {"%c", ARGS(0), std::string(1, '\0'), 1},
        {"a%cb", ARGS(0), std::string("a\0b", 3), 3},
        {"%3c|", ARGS(0), std::string("  \0|", 4), 4},
        {"abc%", NOARGS, "abc", 3},
        {"x%-5", NOARGS, "x", 1},
        {"x%.3l", NOARGS, "x", 1},
        {"x%*", ARGS(4), "x", 1},
        {"%5*d", ARGS(3, 7), std::string(52, ' ') + "7", 53},
        {"%*3d", ARGS(4, 7), std::string(42, ' ') + "7", 43},
        {"%**d", ARGS(4, 3, 9), std::string(42, ' ') + "9", 43},
        {"%***d", ARGS(4, 3), "d", 1},  // the third "*" is the letter
        {"%*5d|", ARGS(-4, 9), "9" + std::string(44, ' ') + "|", 46},
        {"%*7d", ARGS(0, 9), "0000009", 7},
        {"%*d|", ARGS(-6, 5), "5     |", 7},
        {"%0*d|", ARGS(-5, 42), "42   |", 6},
        {"%*.*d|", ARGS(-6, 3, 5), "005   |", 7},
        {"%.*d", ARGS(-1, 5), "5", 1},  // negative precision: none
        {"%.*d", ARGS(INT_MIN, 5), "5", 1},
        {"%5*d|", ARGS(-3, 7), "    7|", 6},
    });
}

TEST(FormatEngine, Integers) {
    RunCases({
        {"%d %d %d", ARGS(0, INT_MAX, INT_MIN), "0 2147483647 -2147483648", 24},
        {"%u %u", ARGS(-1, 42), "4294967295 42", 13},
        {"%o %x %X", ARGS(8, -1, 0xBEEF), "10 ffffffff BEEF", 16},
        {"%+d %+d %+u", ARGS(3, -3, 3), "+3 -3 3", 7},
        {"%+05d", ARGS(3), "+0003", 5},
        {"%.3d %.3d", ARGS(7, -7), "007 -007", 8},
        {"%.0d|%5.0d|", ARGS(0, 0), "|     |", 7},
        {"%08.3d", ARGS(7), "     007", 8},
        {"%-05x|", ARGS(255), "ff   |", 6},
        {"%5c|%-5c|%05c", ARGS('a', 'b', 'c'), "    a|b    |    c", 17},
    });
}

TEST(FormatEngine, Strings) {
    static const char* const abc = "abc";
    RunCases({
        {"%s", ARGS(abc), "abc", 3},
        {"%.2s", ARGS("abcdef"), "ab", 2},
        {"%10s", ARGS(abc), "       abc", 10},
        {"%2s", ARGS(abc), "abc", 3},
        {"%.0s|", ARGS(abc), "|", 1},
        {"%.*s|", ARGS(0, abc), "|", 1},
        {"%10.0s|", ARGS(abc), "          |", 11},
        {"%-6s|", ARGS(abc), "abc   |", 7},
        {"%*s|", ARGS(-6, abc), "abc   |", 7},
        {"%06s", ARGS(abc), "   abc", 6},
        {"%.*s", ARGS(-1, abc), "abc", 3},
        {"%.10s", ARGS(abc), "abc", 3},
        {"%.99999999999s", ARGS(abc), "abc", 3},  // nothing to reserve for
        {"%5*s", ARGS(3, abc), std::string(50, ' ') + "abc", 53},
        {"%ls|%.2ls|%5ls", ARGS(L"abc", L"abc", L"xy"), "abc|ab|   xy", 12},
        {"%lc%lc", ARGS(wint_t{L'w'}, wint_t{L'z'}), "wz", 2},
        {"%s", ARGS(""), "", 0},
        {"[%s][%d]", ARGS(static_cast<const char*>(nullptr), 5), "[][5]", 5},
        {"[%.3s][%d]", ARGS(static_cast<const char*>(nullptr), 5), "[][5]", 5},
        {"%s", ARGS("a\nb"), "a\nb", 3},
    });
}

TEST(FormatEngine, FloatingPoint) {
    static const double inf = HUGE_VAL;
    RunCases({
        {"%f", ARGS(1.5), "1.500000", 8},
        {"%lf", ARGS(1.5), "1.500000", 8},
        {"%.2f", ARGS(3.14159), "3.14", 4},
        {"%10.3f", ARGS(-2.5), "    -2.500", 10},
        {"%-10.1f|", ARGS(2.75), "2.8       |", 11},
        {"%010.2f", ARGS(-1.5), "-000001.50", 10},
        {"%+08.1f", ARGS(1.25), "+00001.2", 8},
        {"%.0f", ARGS(1.0), "1", 1},
        {"%e", ARGS(1.5), "1.500000e+00", 12},
        {"%+e", ARGS(12345.678), "+1.234568e+04", 13},
        {"%.2e", ARGS(-1e-100), "-1.00e-100", 10},
        {"%012.3e", ARGS(1.0), "0001.000e+00", 12},
        {"%g %g %g", ARGS(0.0001, 1e-5, 123456789.0), "0.0001 1e-05 1.23457e+08", 24},
        {"%.3g", ARGS(3.14159), "3.14", 4},
        {"%8f|%-6f|%08f", ARGS(inf, inf, -inf), "     inf|inf   |    -inf", 24},
        {"%*.*f|", ARGS(-8, -1, 0.5), "0.500000|", 9},
        {"%.1f", ARGS(1e15), "1000000000000000.0", 18},
    });
}

TEST(FormatEngine, FloatingPointBeyondTheFirstReservation) {
    // Longer than the 42-byte margin: measured and rendered again.
    char expected[400];
    int n = std::snprintf(expected, sizeof(expected), "%f", 1e300);
    ASSERT_GT(n, 300);
    StringBuffer b;
    EXPECT_EQ(Append(b, "%f", 1e300), n);
    EXPECT_EQ(Content(b), expected);
    b.Reset();
    EXPECT_EQ(Append(b, "%-320.2f|", -1e33), 321);
    EXPECT_EQ(b.Length(), 321);
}

TEST(FormatEngine, PrecisionsBeyondWhatADoubleHolds) {
    // Past a double's exact expansion only zeros follow, so the engine
    // adds them itself; the result must equal the C library's.
    struct Case {
        const char* format;
        double v;
    };
    const Case cases[] = {{"%.1200f", 0.1},        {"%.1100f", 5e-324},    {"%.1000e", 1.0 / 3},
                          {"%-1300.1000e|", -2.5}, {"%.900g", 0.1},        {"%.2000g", 1e300},
                          {"%.1200e", HUGE_VAL},   {"%01500.1200f", -0.75}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        std::vector<char> expected(4000);
        int n = std::snprintf(expected.data(), expected.size(), c.format, c.v);
        ASSERT_GT(n, 0);
        ASSERT_LT(n, 4000);
        StringBuffer b;
        EXPECT_EQ(Append(b, c.format, c.v), n);
        EXPECT_EQ(Content(b), std::string(expected.data(), static_cast<size_t>(n)));
    }
    StringBuffer b;
    EXPECT_EQ(Append(b, "%.100000f", 1.0), 100002);
    EXPECT_EQ(Content(b), "1." + std::string(100000, '0'));
    b.Reset();
    EXPECT_EQ(Append(b, "%.5000e", -1.0), 5007);
    EXPECT_EQ(Content(b), "-1." + std::string(5000, '0') + "e+00");
}

TEST(FormatEngine, Pointers) {
    // The platform's own form of %p; a width pads it with blanks.
    int object = 0;
    const void* pointers[] = {&object, nullptr};
    for (const void* p : pointers) {
        char plain[64];
        std::snprintf(plain, sizeof(plain), "%p", p);
        std::string text(plain);
        StringBuffer b;
        EXPECT_EQ(Append(b, "%p", p), static_cast<int32_t>(text.size()));
        EXPECT_EQ(Content(b), text);
        b.Reset();
        Append(b, "%40p|%-40p|%+0.3p", p, p, p);
        std::string pad(40 - text.size(), ' ');
        EXPECT_EQ(Content(b), pad + text + "|" + text + pad + "|" + text);
    }
}

// Integers are rendered without the C library; they must match it byte
// for byte.
TEST(FormatEngine, IntegersMatchTheCLibrary) {
    const char* flags[] = {"", "-", "+", "0", "-0", "+0", "-+", "-+0"};
    const char* widths[] = {"", "1", "2", "3", "4", "5", "8", "12", "15"};
    const char* precisions[] = {"", ".", ".0", ".1", ".2", ".3", ".5", ".11", ".14"};
    const char letters[] = {'d', 'u', 'o', 'x', 'X', 'c'};
    const int values[] = {0,     1,       -1,          7,       9,          10,        42,
                          -42,   99,      255,         1000,    65535,      123456789, 'A',
                          -1000, INT_MAX, INT_MAX - 1, INT_MIN, INT_MIN + 1};
    int compared = 0;
    for (const char* flag : flags) {
        for (const char* width : widths) {
            for (const char* precision : precisions) {
                for (char letter : letters) {
                    if (letter == 'c' &&
                        (*precision != '\0' || std::strchr(flag, '0') || std::strchr(flag, '+'))) {
                        continue;  // undefined for %c in C
                    }
                    std::string format = std::string("%") + flag + width + precision + letter;
                    StringBuffer b;
                    for (int v : values) {
                        char expected[64];
                        int length = std::snprintf(expected, sizeof(expected), format.c_str(), v);
                        b.Reset();
                        ASSERT_EQ(Append(b, format.c_str(), v), length) << format << " " << v;
                        ASSERT_EQ(Content(b), std::string(expected, static_cast<size_t>(length)))
                            << format << " " << v;
                        ++compared;
                    }
                }
            }
        }
    }
    EXPECT_GT(compared, 30000);
}

TEST(FormatEngine, RecordStampMatchesTheCLibrary) {
    const char* stamp = "[%4d-%02d-%02d %02d:%02d:%02d.%03d] ";
    const int times[][7] = {{2024, 1, 2, 3, 4, 5, 6},
                            {1999, 12, 31, 23, 59, 59, 999},
                            {10, 0, 0, 0, 0, 0, 0},
                            {123456, 100, 100, 100, 100, 100, 1000}};
    for (const auto& t : times) {
        char expected[128];
        int n = std::snprintf(expected, sizeof(expected), stamp, t[0], t[1], t[2], t[3], t[4], t[5],
                              t[6]);
        StringBuffer b;
        EXPECT_EQ(Append(b, stamp, t[0], t[1], t[2], t[3], t[4], t[5], t[6]), n);
        EXPECT_EQ(Content(b), expected);
    }
}

TEST(FormatEngine, ErrorText) {
    StringBuffer b;
    errno = ENOENT;
    std::string text = std::strerror(ENOENT);
    EXPECT_EQ(Append(b, "%m", 99), static_cast<int32_t>(text.size()));
    EXPECT_EQ(Content(b), text);
    // Flags, width and precision are ignored; "*" still takes its argument.
    b.Reset();
    errno = ENOENT;
    Append(b, "%-*.3lm|%d", 30, 5);
    EXPECT_EQ(Content(b), text + "|5");
}

// A stream whose writes always fail with EIO.
class FailingStream : public FileStream {
  public:
    FailingStream() : FileStream(3) {}

  protected:
    long RawWrite(const char*, size_t) override {
        errno = EIO;
        return -1;
    }
};

TEST(FormatEngine, ErrorTextIsTheCallersEvenAfterAFailedFlush) {
    FailingStream s;
    errno = ENOENT;
    std::string text = std::strerror(ENOENT);
    EXPECT_EQ(s.Print("\n%m"), 1 + static_cast<int32_t>(text.size()));
    EXPECT_EQ(std::string(s.Data(), static_cast<size_t>(s.ContentLength())), text);
}

TEST(FormatEngine, LastCharIsTheLastCharacterAppended) {
    struct Case {
        const char* format;
        std::function<int32_t(TextBuffer&, const char*)> run;
        char last;
    };
    const Case cases[] = {
        {"ab%d", ARGS(57), '7'},
        {"ab%s", ARGS("xyz"), 'z'},
        {"ab%s", ARGS(static_cast<const char*>(nullptr)), 'b'},
        {"ab%c", ARGS('q'), 'q'},
        {"ab%c", ARGS(0), '\0'},
        {"ab%q", NOARGS, 'b'},
        {"ab%-3d", ARGS(1), ' '},
        {"x%%", NOARGS, '%'},
        {"%5.1f", ARGS(2.0), '0'},
    };
    for (const Case& c : cases) {
        StringBuffer b;
        c.run(b, c.format);
        EXPECT_EQ(b.LastChar(), c.last) << c.format;
    }
}

// A StringBuffer whose storage cannot grow beyond a limit.
class LimitedBuffer : public StringBuffer {
  public:
    explicit LimitedBuffer(size_t limit) : limit_(limit) {}

  protected:
    void* Reallocate(void* storage, size_t size) override {
        return size > limit_ ? nullptr : StringBuffer::Reallocate(storage, size);
    }

  private:
    size_t limit_;
};

TEST(FormatEngine, RoomThatCannotBeMadeEndsTheCall) {
    struct Case {
        const char* format;
        std::function<int32_t(TextBuffer&, const char*)> run;
    };
    // Each call ends at the conversion: "ab" and nothing after.
    const Case cases[] = {
        {"ab%*dcd", ARGS(INT_MIN, 1)},       {"ab%*dcd", ARGS(-INT_MAX, 1)},
        {"ab%*dcd", ARGS(INT_MAX, 1)},       {"ab%99999999999dcd", ARGS(1)},
        {"ab%.99999999999dcd", ARGS(1)},     {"ab%2147483647dcd", ARGS(1)},
        {"ab%2147483600dcd", ARGS(1)},       {"ab%.*fcd", ARGS(INT_MAX, 1.0)},
        {"ab%.2147483000fcd", ARGS(1.0)},    {"ab%-2147483000fcd", ARGS(1.0)},
        {"ab%*pcd", ARGS(INT_MIN, nullptr)}, {"ab%*scd", ARGS(-2147483000, "x")},
        {"ab%99999999999scd", ARGS("x")},    {"ab%*.*dcd", ARGS(INT_MIN, INT_MIN, 5)},
        {"ab%5000000dcd", ARGS(1)},  // beyond the storage this buffer may have
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        LimitedBuffer b(1 << 20);
        EXPECT_EQ(c.run(b, c.format), 2);
        // A growth that was refused may have dropped the content; what is
        // there is never more than was counted.
        EXPECT_LE(b.Length(), 2);
        // The buffer is usable afterwards.
        EXPECT_STREQ(b.Format("%d", 5).CStr(), "5");
    }
}

TEST(FormatEngine, FailedCopiesCountTheirFailure) {
    // A FileStream without descriptor drops what fills it: Write reports -1.
    FileStream s;
    std::string big(9000, 's');
    EXPECT_EQ(Append(s, "%sZ", big.c_str()), 0);  // -1 for the copy, 1 for Z
    EXPECT_EQ(s.LastChar(), 'Z');
}

// A buffer whose line flush throws.
class ThrowingBuffer : public StringBuffer {
  public:
    int32_t Sync() override { throw std::runtime_error("flush"); }
};

TEST(FormatEngine, ExceptionsEndTheCallWithTheCountSoFar) {
    ThrowingBuffer b;
    EXPECT_EQ(Append(b, "ab\ncd%d", 5), 2);
    EXPECT_STREQ(b.CStr(), "ab\n");
    EXPECT_EQ(Append(b, "%d", 7), 1);
    EXPECT_STREQ(b.CStr(), "ab\n7");
}

// Text between conversions is stored exactly as Put would store it one
// character at a time: a full stream writes out at the same point, a full
// string grows the same way, and only newlines of the format flush.
class RecordingStream : public FileStream {
  public:
    explicit RecordingStream(int fd) : FileStream(fd) {}
    std::vector<std::string> writes;

  protected:
    long RawWrite(const char* data, size_t size) override {
        writes.emplace_back(data, size);
        return static_cast<long>(size);
    }
};

TEST(FormatEngine, LiteralTextFillsAndFlushesAsPutsWould) {
    const std::string body(10000, 'x');
    RecordingStream s(7);
    EXPECT_EQ(Append(s, (body + "\ntail").c_str()), 10005);
    ASSERT_EQ(s.writes.size(), 2u);
    EXPECT_EQ(s.writes[0], std::string(8192, 'x'));
    EXPECT_EQ(s.writes[1], std::string(1808, 'x') + "\n");
    EXPECT_EQ(s.ContentLength(), 4);
    EXPECT_EQ(s.LastChar(), 'l');

    // Without a descriptor the full buffer is dropped and the character
    // that found it full is lost; the rest is stored.
    RecordingStream none(-1);
    EXPECT_EQ(Append(none, std::string(8197, 'y').c_str()), 8197);
    EXPECT_EQ(none.ContentLength(), 4);
    EXPECT_TRUE(none.writes.empty());

    StringBuffer b;
    EXPECT_EQ(Append(b, std::string(300, 'z').c_str()), 300);
    EXPECT_EQ(b.Capacity(), 512);
    EXPECT_EQ(Content(b), std::string(300, 'z'));
}

TEST(FormatEngine, NullFormatProducesNothing) {
    StringBuffer b("keep");
    EXPECT_EQ(Append(b, nullptr), 0);
    EXPECT_EQ(Content(b), "keep");
}

TEST(FormatEngine, ShortFormsNeedTheSameRoomAsAnyConversion) {
    // 250 characters fill all but 6 bytes of a string that may not grow:
    // %d and %u reserve 16, %f and %.3f 42 and more, so each call ends at
    // its conversion as the general reading of a conversion does.
    const std::string fill(250, 'x');
    struct Case {
        std::string format;
        std::function<int32_t(TextBuffer&, const char*)> run;
    };
    const Case cases[] = {{fill + "%dcd", ARGS(1)},      {fill + "%icd", ARGS(-1)},
                          {fill + "%ucd", ARGS(7u)},     {fill + "%fcd", ARGS(1.0)},
                          {fill + "%.3fcd", ARGS(-2.5)}, {fill + "%.18fcd", ARGS(0.1)},
                          {fill + "%5dcd", ARGS(1)},     {fill + "%.1ecd", ARGS(1.0)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        LimitedBuffer b(256);
        EXPECT_EQ(c.run(b, c.format.c_str()), 250);
        EXPECT_LE(b.Length(), 250);
        EXPECT_STREQ(b.Format("%d|%.2f", 5, 0.125).CStr(), "5|0.12");
    }
}

}  // namespace
}  // namespace vosk
