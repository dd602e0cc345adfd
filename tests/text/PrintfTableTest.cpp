// The engine against the platform's own snprintf, byte for byte: every
// conversion of C99 printf crossed with flags, widths, precisions, length
// modifiers and values at the edges of their types. The engine renders
// every number itself, so this is what keeps it printf.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/NativeTypes.h"
#include "text/StringBuffer.h"

namespace vosk {
namespace {

// Where a host's long double is the platform's double (Windows), the
// engine reads a double for "L"; the reference is then the C library's
// text of that double, without "L" (the C library's own "L" reads its
// compiler's long double).
constexpr bool kLongDoubleIsDouble = std::is_same<platform::HostLongDouble, double>::value;

template <typename T>
auto AsHostPasses(T value) {
    if constexpr (std::is_same<T, long double>::value) {
        return static_cast<platform::HostLongDouble>(value);
    } else {
        return value;
    }
}

std::string ReferenceFormat(std::string format) {
    if (kLongDoubleIsDouble) {
        format.erase(std::remove(format.begin(), format.end(), 'L'), format.end());
    }
    return format;
}

// What the engine and snprintf made of one format, and how many were
// compared; the first few mismatches are reported.
class Table {
  public:
    ~Table() { EXPECT_EQ(mismatches_, 0) << "of " << compared_ << " cases"; }

    template <typename... Args>
    void Check(const std::string& format, Args... args) {
        CheckAgainst(format, format, args...);
    }
    // The engine with format, snprintf with reference (the same text by
    // C99's definition).
    template <typename... Args>
    void CheckAgainst(const std::string& format, const std::string& reference, Args... args) {
        Compare(format, ReferenceFormat(reference), AsHostPasses(args)...);
    }
    int Compared() const { return compared_; }

  private:
    template <typename... Args>
    void Compare(const std::string& format, const std::string& reference, Args... args) {
        const char* f = format.c_str();
        const char* r = reference.c_str();
        int n = std::snprintf(nullptr, 0, r, args...);
        ASSERT_GE(n, 0) << r;
        std::vector<char> expected(static_cast<size_t>(n) + 1);
        std::snprintf(expected.data(), expected.size(), r, args...);
        buffer_.Reset();
        int32_t count = Append(f, args...);
        std::string got(buffer_.Data(), static_cast<size_t>(buffer_.Length()));
        ++compared_;
        if (count != n || got != std::string(expected.data(), static_cast<size_t>(n))) {
            if (++mismatches_ <= 20) {
                ADD_FAILURE() << "format \"" << f << "\": snprintf gave \"" << expected.data()
                              << "\" (" << n << "), the engine \"" << got << "\" (" << count << ")";
            }
        }
    }

    int32_t Append(const char* f, ...) {
        va_list args;
        va_start(args, f);
        int32_t count = buffer_.AppendFormatV(f, args);
        va_end(args);
        return count;
    }

    StringBuffer buffer_;
    int compared_ = 0;
    int mismatches_ = 0;
};

// Where the C runtime of the platform is not C99 printf, the case is left
// out of the comparison; the engine's text there is C99's (and glibc's).
// format is "[%<flags><width><precision><length><letter>]".
bool RuntimeDeparts(const std::string& format, bool negativeNan) {
#ifdef __MINGW32__
    const char letter = format[format.size() - 2];
    const size_t flagsEnd = format.find_first_not_of("-+ #0", 2);
    const std::string flags = format.substr(2, flagsEnd - 2);
    const bool padded = format.find_first_of("123456789*", flagsEnd) < format.find('.');
    // mingw-w64's printf: a NaN with its sign bit prints without "-"; "+"
    // and " " give unsigned conversions a sign; "%#.0o" of 0 prints
    // nothing; %a ignores "-" and pads a negative "*" width with zeros;
    // its %p has another form than the one snprintf("%p") gives.
    const bool isUnsigned = std::strchr("uoxX", letter) != nullptr;
    return negativeNan || (isUnsigned && flags.find_first_of("+ ") != std::string::npos) ||
           (letter == 'o' && flags.find('#') != std::string::npos) ||
           ((letter == 'a' || letter == 'A') && padded) || letter == 'p';
#else
    (void)format;
    (void)negativeNan;
    return false;
#endif
}

// C99 defines %#g as %#e or %#f, with the precision chosen by the exponent
// that %e shows at the same number of significant digits. glibc's own %#g
// drops the zeros that "#" keeps when rounding carries into a new leading
// digit (999999.5 prints as 1.e+06), so the reference is that definition,
// rendered by the C library's %#e and %#f.
template <typename T>
std::string HashGReference(const std::string& flags, const std::string& width, int precision,
                           char letter, T value) {
    if constexpr (std::is_same<T, long double>::value && kLongDoubleIsDouble) {
        return HashGReference(flags, width, precision, letter, static_cast<double>(value));
    }
    const bool upper = letter == 'G';
    const std::string length = std::is_same<T, long double>::value ? "L" : "";
    int significant = precision < 0 ? 6 : precision == 0 ? 1 : precision;
    if (!std::isfinite(value)) {
        return "[%" + flags + width + "." + std::to_string(significant - 1) + length + letter + "]";
    }
    static char text[8192];
    std::snprintf(text, sizeof text,
                  ("%." + std::to_string(significant - 1) + length + "e").c_str(),
                  std::fabs(value));
    int exponent = std::atoi(std::strchr(text, 'e') + 1);
    if (significant > exponent && exponent >= -4) {
        return "[%" + flags + width + "." + std::to_string(significant - 1 - exponent) + length +
               (upper ? "F" : "f") + "]";
    }
    return "[%" + flags + width + "." + std::to_string(significant - 1) + length +
           (upper ? "E" : "e") + "]";
}

// The precision a format's text gives: -1 for none.
int PrecisionOf(const std::string& precision) {
    return precision.empty() ? -1 : precision == "." ? 0 : std::atoi(precision.c_str() + 1);
}

const char* const kFlags[] = {"",   "-",  "+",  " ",  "#",  "0",    "-0",
                              "+0", " 0", "#0", "-#", "+ ", "-+ #0"};
const char* const kWidths[] = {"", "1", "5", "12", "30", "*"};
const char* const kPrecisions[] = {"", ".", ".0", ".1", ".5", ".17", ".30", ".*"};
constexpr int kStarWidth = -9;  // "*" widths are negative: left alignment
constexpr int kStarPrecision = 4;

template <typename T>
void CheckStars(Table& table, const std::string& format, const char* width, const char* precision,
                T value) {
    const bool w = std::strcmp(width, "*") == 0;
    const bool p = std::strcmp(precision, ".*") == 0;
    if (w && p) {
        table.Check(format, kStarWidth, kStarPrecision, value);
    } else if (w) {
        table.Check(format, kStarWidth, value);
    } else if (p) {
        table.Check(format, kStarPrecision, value);
    } else {
        table.Check(format, value);
    }
}

// Integer values at the limits of T and around the narrower types.
template <typename T>
std::vector<T> IntegerValues() {
    using L = std::numeric_limits<T>;
    std::vector<T> values = {L::min(), static_cast<T>(L::min() + 1),
                             L::max(), static_cast<T>(L::max() - 1),
                             0,        1,
                             7,        8,
                             10,       42,
                             100,      127};
    const long long wide[] = {-1,
                              -42,
                              -128,
                              -129,
                              128,
                              255,
                              256,
                              300,
                              32767,
                              32768,
                              65535,
                              70000,
                              -2147483647 - 1,
                              2147483647,
                              4294967295LL};
    for (long long v : wide) {
        if (v >= static_cast<long long>(L::min()) &&
            (v < 0 || static_cast<unsigned long long>(v) <= L::max())) {
            values.push_back(static_cast<T>(v));
        }
    }
    return values;
}

template <typename T>
void SweepIntegers(Table& table, const char* length) {
    const std::vector<T> values = IntegerValues<T>();
    const char letters[] = {'d', 'i', 'u', 'o', 'x', 'X'};
    for (const char* flag : kFlags) {
        for (const char* width : kWidths) {
            for (const char* precision : kPrecisions) {
                for (char letter : letters) {
                    std::string format =
                        std::string("[%") + flag + width + precision + length + letter + "]";
                    if (RuntimeDeparts(format, false)) {
                        continue;
                    }
                    for (T v : values) {
                        CheckStars(table, format, width, precision, v);
                    }
                }
            }
        }
    }
}

TEST(PrintfTable, Integers) {
    Table table;
    SweepIntegers<int>(table, "");
    // hh and h take an int and convert it: values beyond the narrow type.
    SweepIntegers<int>(table, "hh");
    SweepIntegers<int>(table, "h");
    SweepIntegers<long>(table, "l");
    SweepIntegers<long long>(table, "ll");
    SweepIntegers<intmax_t>(table, "j");
    SweepIntegers<std::make_signed_t<size_t>>(table, "z");
    SweepIntegers<ptrdiff_t>(table, "t");
    EXPECT_GT(table.Compared(), 300000);
}

// Values that exercise every branch of the decimal forms: ties, powers of
// ten at the switch between %g's two forms, the ends of the range.
std::vector<double> FloatValues() {
    return {0.0,
            -0.0,
            1.0,
            -1.0,
            0.1,
            0.5,
            1.5,
            2.5,
            -2.5,
            0.125,
            1.0 / 3,
            2.0 / 3,
            9.5,
            99.5,
            0.0001,
            0.00001,
            0.000099999,
            9.9999999,
            999999.5,
            123456.789,
            -7e-7,
            1e15,
            1e16,
            1e22,
            1e23,
            4.35,
            1e308,
            -1e308,
            DBL_MAX,
            DBL_MIN,
            DBL_TRUE_MIN,
            2.2250738585072009e-308,  // the largest subnormal
            1e-310,
            -4.9406564584124654e-324,
            DBL_EPSILON,
            HUGE_VAL,
            -HUGE_VAL,
            std::nan(""),
            -std::nan("")};
}

bool NegativeNan(double v) {
    return std::isnan(v) && std::signbit(v);
}

TEST(PrintfTable, FloatPrecisions) {
    // Every precision from 0 to 60 and some far beyond a double's digits.
    Table table;
    const char letters[] = {'e', 'E', 'f', 'F', 'g', 'G'};
    std::vector<std::string> precisions = {""};
    for (int p = 0; p <= 60; ++p) {
        precisions.push_back("." + std::to_string(p));
    }
    for (int p : {100, 330, 766, 767, 768, 800, 1074, 1075, 1100, 1500}) {
        precisions.push_back("." + std::to_string(p));
    }
    for (const char* flag : {"", "#", "+", "-#0"}) {
        for (const std::string& precision : precisions) {
            for (char letter : letters) {
                std::string format = std::string("[%") + flag + "8" + precision + letter + "]";
                const bool hashG =
                    std::strchr(flag, '#') != nullptr && (letter == 'g' || letter == 'G');
                for (double v : FloatValues()) {
                    if (RuntimeDeparts(format, NegativeNan(v))) {
                        continue;
                    }
                    table.CheckAgainst(
                        format,
                        hashG ? HashGReference(flag, "8", PrecisionOf(precision), letter, v)
                              : format,
                        v);
                }
            }
        }
    }
    EXPECT_GT(table.Compared(), 60000);
}

TEST(PrintfTable, FloatFlagsAndWidths) {
    Table table;
    const char letters[] = {'e', 'E', 'f', 'F', 'g', 'G', 'a', 'A'};
    for (const char* flag : kFlags) {
        for (const char* width : kWidths) {
            for (const char* precision : {"", ".", ".0", ".3", ".13", ".*"}) {
                for (char letter : letters) {
                    std::string format =
                        std::string("[%") + flag + width + precision + letter + "]";
                    const bool hashG =
                        std::strchr(flag, '#') != nullptr && (letter == 'g' || letter == 'G');
                    for (double v : FloatValues()) {
                        if (RuntimeDeparts(format, NegativeNan(v))) {
                            continue;
                        }
                        if (hashG && std::strcmp(precision, ".*") != 0) {
                            std::string reference =
                                HashGReference(flag, width, PrecisionOf(precision), letter, v);
                            if (std::strcmp(width, "*") == 0) {
                                table.CheckAgainst(format, reference, kStarWidth, v);
                            } else {
                                table.CheckAgainst(format, reference, v);
                            }
                        } else if (!hashG) {
                            CheckStars(table, format, width, precision, v);
                        }
                    }
                }
            }
        }
    }
    // "l" changes nothing for a double.
    for (double v : FloatValues()) {
        if (!NegativeNan(v)) {
            table.Check("[%lf|%le|%lg|%lE]", v, v, v, v);
        }
    }
    EXPECT_GT(table.Compared(), 100000);
}

TEST(PrintfTable, LongDoubles) {
    Table table;
    const long double values[] = {0.0L,      -0.0L,     1.0L,         -1.5L,       0.1L,
                                  1.0L / 3,  2.5L,      1e300L * 1e8, 1e4000L,     -1e-4000L,
                                  LDBL_MAX,  LDBL_MIN,  LDBL_EPSILON, 123456.789L, 1e-4950L,
                                  HUGE_VALL, -HUGE_VALL};
    const char letters[] = {'e', 'E', 'f', 'F', 'g', 'G'};
    for (const char* flag : {"", "#", "+", "-", "0", " "}) {
        for (const char* width : {"", "12", "*"}) {
            for (const char* precision : {"", ".0", ".3", ".20", ".40", ".*"}) {
                for (char letter : letters) {
                    std::string format =
                        std::string("[%") + flag + width + precision + "L" + letter + "]";
                    for (long double v : values) {
                        // Thousands of digits: once each is enough (below).
                        if (std::fabs(v) > 1e400L && (letter == 'f' || letter == 'F')) {
                            continue;
                        }
                        if (std::strchr(flag, '#') != nullptr && (letter == 'g' || letter == 'G')) {
                            if (std::strcmp(width, "*") != 0 && std::strcmp(precision, ".*") != 0) {
                                table.CheckAgainst(
                                    format,
                                    HashGReference(flag, width, PrecisionOf(precision), letter, v),
                                    v);
                            }
                            continue;
                        }
                        CheckStars(table, format, width, precision, v);
                    }
                }
            }
        }
    }
    table.Check("[%Lf|%.3Lf|%LF]", LDBL_MAX, -1e4000L, -LDBL_MAX);
    EXPECT_GT(table.Compared(), 9000);
}

TEST(PrintfTable, CharactersStringsAndPointers) {
    Table table;
    static const char* const texts[] = {"", "a", "abc", "hello, world", "tab\there"};
    for (const char* flag : {"", "-"}) {
        for (const char* width : kWidths) {
            for (const char* precision : kPrecisions) {
                std::string format = std::string("[%") + flag + width + precision + "s]";
                for (const char* text : texts) {
                    CheckStars(table, format, width, precision, text);
                }
                std::string wide = std::string("[%") + flag + width + precision + "ls]";
                for (const wchar_t* text : {L"", L"w", L"wide text"}) {
                    CheckStars(table, wide, width, precision, text);
                }
            }
            std::string format = std::string("[%") + flag + width + "c]";
            for (int c : {int{'a'}, int{'Z'}, int{' '}, 0, 255, -1}) {
                CheckStars(table, format, width, "", c);
            }
            std::string wide = std::string("[%") + flag + width + "lc]";
            CheckStars(table, wide, width, "", static_cast<wint_t>(L'q'));
            std::string pointer = std::string("[%") + flag + width + "p]";
            static int object;
            if (!RuntimeDeparts(pointer, false)) {
                CheckStars(table, pointer, width, "", static_cast<void*>(&object));
            }
        }
    }
    // A precision need not reach a terminating NUL.
    const char unterminated[3] = {'x', 'y', 'z'};
    table.Check("[%.3s|%.2s]", unterminated, unterminated);
    EXPECT_GT(table.Compared(), 300);
}

// %f with up to 18 decimals of a value below 2^63 is worked out in 64-bit
// integers: exact ties at every precision, carries into the integer part,
// the ends of that range and the values just outside it.
std::vector<double> FixedEdgeValues() {
    std::vector<double> values = {0.0,
                                  -0.0,
                                  -0.0004,
                                  0.5,
                                  1.5,
                                  2.5,
                                  -3.5,
                                  9.9995,
                                  9.99949999,
                                  0.9999999999999999,
                                  99.99999999999999,
                                  999999.9999995,
                                  4503599627370495.5,  // 2^52 - 0.5
                                  9007199254740991.0,  // 2^53 - 1
                                  9007199254740992.0,
                                  9007199254740994.0,
                                  9223372036854774784.0,  // the largest double below 2^63
                                  9223372036854775808.0,  // 2^63
                                  18446744073709551616.0,
                                  1e-18,
                                  5e-19,
                                  4.9999999999999996e-19,
                                  1e-19,
                                  DBL_MIN,
                                  DBL_TRUE_MIN,
                                  1.0 / 3,
                                  0.1,
                                  0.3,
                                  17.25,
                                  123456.789,
                                  0.0371};
    // k / 2^j has j decimals ending in 5: a tie at precision j - 1.
    for (int j = 1; j <= 20; ++j) {
        for (double k : {1.0, 3.0, 5.0, 7.0, 1023.0, 4095.0}) {
            values.push_back(std::ldexp(k, -j));
            values.push_back(std::ldexp(k, -j) + 12345.0);
        }
    }
    // The record of the benchmark, and nines that carry at each precision.
    for (int i = 0; i < 300; ++i) {
        values.push_back(i * 0.0371);
    }
    double nines = 0.9;
    for (int p = 1; p <= 18; ++p) {
        values.push_back(nines);
        values.push_back(9.0 + nines);
        values.push_back(nines + 0.5 * std::pow(10.0, -p));
        nines += 9 * std::pow(10.0, -(p + 1));
    }
    return values;
}

TEST(PrintfTable, FixedInIntegers) {
    Table table;
    std::vector<std::string> formats;
    for (const char* flag : {"", "#", "+", "-", " ", "0", "-#0"}) {
        for (const char* width : {"", "1", "25"}) {
            for (int p = 0; p <= 19; ++p) {
                for (const char* letter : {"f", "F"}) {
                    formats.push_back(std::string("[%") + flag + width + "." + std::to_string(p) +
                                      letter + "]");
                }
            }
            formats.push_back(std::string("[%") + flag + width + "f]");
        }
    }
    for (const std::string& format : formats) {
        for (double v : FixedEdgeValues()) {
            table.Check(format, v);
        }
    }
    EXPECT_GT(table.Compared(), 200000);
}

// Where printf's text depends on the numeric locale or the rounding mode,
// the engine's follows it: a host that set either gets what printf gives.
void CheckSettingDependentFloats(Table& table) {
    const double values[] = {0.25, -0.35, 2.5, 1.0 / 3, 1e-300, 123456.789, -0.0, 1e22};
    for (const char* format : {"[%.1f]", "[%+012.3f]", "[%e]", "[%.0e]", "[%g]", "[%#.3g]",
                               "[%#.0f]", "[%.20f]", "[%.1200f]", "[%10.3Le]"}) {
        for (double v : values) {
            if (std::strchr(format, 'L') != nullptr) {
                table.Check(format, static_cast<long double>(v));
            } else {
                table.Check(format, v);
            }
        }
    }
}

TEST(PrintfTable, RoundingModes) {
    Table table;
    for (int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        ASSERT_EQ(std::fesetround(mode), 0);
        CheckSettingDependentFloats(table);
        std::fesetround(FE_TONEAREST);
    }
}

TEST(PrintfTable, NumericLocaleWithAnotherRadix) {
    const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "German_Germany.1252"};
    const char* found = nullptr;
    for (const char* name : names) {
        if (std::setlocale(LC_NUMERIC, name) != nullptr) {
            found = name;
            break;
        }
    }
    if (found == nullptr) {
        GTEST_SKIP() << "no locale with a decimal comma on this system";
    }
    const bool comma = std::strcmp(std::localeconv()->decimal_point, ",") == 0;
    {
        Table table;
        CheckSettingDependentFloats(table);
    }
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_TRUE(comma) << found;
}

TEST(PrintfTable, MixedRecords) {
    Table table;
    table.Check("worker %d processed item %d in %.3f ms", 3, 123456, 17.25);
    table.Check("user %i name %s", 7, "bob");
    table.Check("%ld %lld %zu %E %G %a", 1L << 20, 1LL << 40, sizeof(Table), 1e-7, 1e-7, 0.75);
    table.Check("%hhd|%hhu|%hd|%hu", 511, 511, 98765, 98765);
    table.Check("%5%|%-5d|%05.1f%%", 42, 9.96);
    table.Check("%-+ #0*.*e|", 14, 2, 12345.678);
    table.Check("%#.0f|%#.0e|%#g|%#.3g|%#.0g", 2.0, 2.0, 2.0, 100.0, 0.0);
    // The short forms, and values they hand on to the general path.
    for (int v : {0, 1, -1, 9, 10, 99, 100, 12345, INT_MAX, INT_MIN}) {
        table.Check("%d|%i|%u|%s%%d", v, v, static_cast<unsigned>(v), "s");
    }
    for (double v : {0.0, -0.0, 0.0005, -0.0005, 17.25, 9.9995, 1e18, 1e19, 1e300, -1e300,
                     DBL_TRUE_MIN, HUGE_VAL, -HUGE_VAL, std::nan("")}) {
        table.Check("%f|%.0f|%.3f|%.05f|%.18f|%.19f|%.99f", v, v, v, v, v, v, v);
    }
}

}  // namespace
}  // namespace vosk
