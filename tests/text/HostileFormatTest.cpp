// Random formats built from C99 printf's grammar, with extreme widths,
// precisions and values: nothing may be written beyond the storage, and the
// count must match what was appended. Runs under the asan preset too.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "platform/NativeTypes.h"
#include "text/FileStream.h"
#include "text/StringBuffer.h"

namespace vosk {
namespace {

constexpr size_t kGuard = 64;
constexpr unsigned char kGuardByte = 0xA5;
// Storage beyond this is refused, so that the test stays small.
constexpr size_t kStorageLimit = 8u << 20;

// Storage with a guard zone behind it, checked after every call.
template <typename Base>
class Guarded : public Base {
  public:
    Guarded() {
        // Move the storage to a guarded block at once.
        this->Reserve(this->Capacity() + 1);
    }
    bool GuardIntact() const {
        if (this->Data() == nullptr) {
            return true;
        }
        const unsigned char* guard = reinterpret_cast<const unsigned char*>(this->Data()) + size_;
        for (size_t i = 0; i < kGuard; ++i) {
            if (guard[i] != kGuardByte) {
                return false;
            }
        }
        return true;
    }
    int grows = 0;

  protected:
    void* Reallocate(void* storage, size_t size) override {
        if (size > kStorageLimit) {
            return nullptr;
        }
        unsigned char* p = static_cast<unsigned char*>(std::realloc(storage, size + kGuard));
        if (p != nullptr) {
            std::memset(p + size, kGuardByte, kGuard);
            size_ = size;
            ++grows;
        }
        return p;
    }

  private:
    size_t size_ = 0;
};

// A stream that keeps count of the bytes it writes.
class CountingStream : public FileStream {
  public:
    CountingStream() : FileStream(1) {}
    int64_t written = 0;

  protected:
    long RawWrite(const char*, size_t size) override {
        written += static_cast<long>(size);
        return static_cast<long>(size);
    }
};

// The arguments every generated format is called with, in this order.
enum class Kind {
    kInt,
    kLong,
    kLongLong,
    kSize,
    kDouble,
    kLongDouble,
    kText,
    kWide,
    kPointer,
    kNone
};
constexpr Kind kPattern[] = {Kind::kInt,    Kind::kInt,  Kind::kLongLong, Kind::kDouble,
                             Kind::kText,   Kind::kInt,  Kind::kPointer,  Kind::kLongDouble,
                             Kind::kDouble, Kind::kWide, Kind::kSize,     Kind::kLong,
                             Kind::kInt,    Kind::kInt};
constexpr size_t kArgCount = sizeof(kPattern) / sizeof(kPattern[0]);

struct Arguments {
    int i[kArgCount];
    long l[kArgCount];
    long long ll[kArgCount];
    size_t z[kArgCount];
    double d[kArgCount];
    platform::HostLongDouble ld[kArgCount];  // what a host passes for %L
    const char* s[kArgCount];
    const wchar_t* w[kArgCount];
    void* p[kArgCount];
};

int32_t Call(TextBuffer& b, const char* format, const Arguments& a) {
    return [&](const char* f, ...) {
        va_list args;
        va_start(args, f);
        int32_t count = b.AppendFormatV(f, args);
        va_end(args);
        return count;
    }(format, a.i[0], a.i[1], a.ll[2], a.d[3], a.s[4], a.i[5], a.p[6], a.ld[7], a.d[8], a.w[9],
           a.z[10], a.l[11], a.i[12], a.i[13]);
}

class Generator {
  public:
    explicit Generator(uint32_t seed) : random_(seed) {}

    template <typename T, size_t N>
    const T& Pick(const T (&items)[N]) {
        return items[random_() % N];
    }
    bool Chance(int percent) { return static_cast<int>(random_() % 100) < percent; }

    // A format whose conversions take the arguments of kPattern in order.
    std::string Format(Arguments* a) {
        static const long long ints[] = {INT64_MIN,   INT64_MAX,  INT32_MIN, -INT32_MAX, INT32_MAX,
                                         -2147483000, 2147483000, -300,      -5,         -1,
                                         0,           1,          7,         42,         300,
                                         1000,        'x'};
        static const double doubles[] = {0.0,  -0.0,   1.5,      -2.25e-7,  1e300, -1e308,
                                         1e33, 5e-324, HUGE_VAL, -HUGE_VAL, NAN,   123.456};
        static const long double longDoubles[] = {
            0.0L, -1.5L, 1e4000L, -1e-4000L, 1.0L / 3, static_cast<long double>(HUGE_VAL)};
        static const std::string longText(300, 'L');
        static const char* texts[] = {nullptr, "", "abc", "line\nbreak", longText.c_str()};
        static const std::wstring longWide(300, L'W');
        static const wchar_t* wides[] = {nullptr, L"", L"abc", L"caf\u00e9", longWide.c_str()};
        static int object;
        static void* pointers[] = {nullptr, &object, texts};
        for (size_t k = 0; k < kArgCount; ++k) {
            long long v = Pick(ints);
            a->i[k] = static_cast<int>(v);
            a->l[k] = static_cast<long>(v);
            a->ll[k] = v;
            a->z[k] = static_cast<size_t>(v);
            a->d[k] = Pick(doubles);
            a->ld[k] = static_cast<platform::HostLongDouble>(Pick(longDoubles));
            a->s[k] = Pick(texts);
            a->w[k] = Pick(wides);
            a->p[k] = Pick(pointers);
        }
        next_ = 0;
        std::string f;
        int parts = 1 + static_cast<int>(random_() % 6);
        for (int n = 0; n < parts; ++n) {
            if (Chance(30)) {
                static const char* literals[] = {"ab", " ", "\n", "%%", "x\ty", "-"};
                f += Pick(literals);
            } else {
                f += RandomConversion();
            }
        }
        if (Chance(10)) {
            static const char* unfinished[] = {"%", "%-5", "%.3l", "%+0", "%12.", "%#hh", "% 3L"};
            f += Pick(unfinished);
        }
        return f;
    }

  private:
    Kind NextKind() const { return next_ < kArgCount ? kPattern[next_] : Kind::kNone; }

    std::string Field(bool precision) {
        static const char* widths[] = {"1",   "5",           "12",         "300",       "0",
                                       "007", "99999999999", "2147483647", "2147483600"};
        static const char* precisions[] = {"0", "3", "20", "1200", "99999999999", "2147483647"};
        int choice = static_cast<int>(random_() % 3);
        if (choice == 1 && NextKind() == Kind::kInt) {
            ++next_;
            return "*";
        }
        if (choice == 2) {
            return precision ? Pick(precisions) : Pick(widths);
        }
        return "";
    }

    std::string RandomConversion() {
        std::string s = "%";
        static const char flags[] = {'-', '+', ' ', '#', '0'};
        while (Chance(35)) {
            s += Pick(flags);
        }
        s += Field(false);
        if (Chance(50)) {
            s += '.';
        }
        s += Field(true);
        // A conversion for the next argument, or a letter that takes none.
        static const char* junk[] = {"q", "I", "$", "w", "k", "m", "Z", "hq", "l!", "LY"};
        static const char* ints[] = {"d", "i", "u", "o", "x", "X", "c", "hd", "hhx", "hu", "hhc"};
        static const char* longs[] = {"ld", "li", "lu", "lo", "lx", "lX"};
        static const char* longLongs[] = {"lld", "lli", "llu", "llo", "llx", "jd", "ju", "Ld"};
        static const char* sizes[] = {"zu", "zd", "zx", "td", "tu"};
        static const char* doubles[] = {"e", "E", "f", "F", "g", "G", "a", "A", "lf", "le"};
        static const char* longDoubles[] = {"Le", "LE", "Lf", "LF", "Lg", "LG", "La", "LA"};
        static const char* pointers[] = {"p", "n", "hhn", "hn", "ln", "lln", "jn", "zn", "tn"};
        std::string letter = Pick(junk);
        if (Chance(80)) {
            switch (NextKind()) {
                case Kind::kInt:
                    letter = Pick(ints);
                    break;
                case Kind::kLong:
                    letter = Pick(longs);
                    break;
                case Kind::kLongLong:
                    letter = Pick(longLongs);
                    break;
                case Kind::kSize:
                    letter = Pick(sizes);
                    break;
                case Kind::kDouble:
                    letter = Pick(doubles);
                    break;
                case Kind::kLongDouble:
                    letter = Pick(longDoubles);
                    break;
                case Kind::kText:
                    letter = "s";
                    break;
                case Kind::kWide:
                    letter = "ls";
                    break;
                case Kind::kPointer:
                    letter = Pick(pointers);
                    break;
                case Kind::kNone:
                    break;
            }
            if (NextKind() != Kind::kNone) {
                ++next_;
            }
        }
        s += letter;
        return s;
    }

    std::mt19937 random_;
    size_t next_ = 0;
};

TEST(HostileFormat, NothingIsWrittenBeyondTheStorage) {
    Generator generator(20240611u);
    for (int iteration = 0; iteration < 5000; ++iteration) {
        Arguments a;
        std::string format = generator.Format(&a);
        SCOPED_TRACE(format);

        Guarded<StringBuffer> b;
        b.Write("prefix", -1);
        int grows = b.grows;
        int32_t count = Call(b, format.c_str(), a);
        ASSERT_TRUE(b.GuardIntact());
        if (b.Capacity() > 0 && b.grows == grows) {
            // No growth could have dropped the content: the count is exact.
            ASSERT_EQ(count, b.Length() - 6);
        }
        ASSERT_LE(b.Length(), b.Capacity());
        ASSERT_EQ(b.Room(), b.Capacity() - b.Length());
        // The engine's own storage stays sound for the next call too.
        ASSERT_STREQ(b.Format("%d|%s", 5, "x").CStr(), "5|x");
        ASSERT_TRUE(b.GuardIntact());

        Guarded<CountingStream> s;
        s.Write("prefix", -1);
        count = Call(s, format.c_str(), a);
        ASSERT_TRUE(s.GuardIntact());
        ASSERT_LE(s.ContentLength(), s.Capacity());
        if (s.Capacity() > 0) {
            ASSERT_LE(count, s.written + s.ContentLength() - 6);
        }
    }
}

}  // namespace
}  // namespace vosk
