// libFuzzer target for the format engine: hostile formats rendered into a
// StringBuffer and into a FileStream writing to a memory file, with an
// argument list that is valid whatever the format makes the engine read.
//
// Built with clang (-fsanitize=fuzzer,address,undefined) for x86-64 Linux
// only: the argument list is laid out by hand in that ABI's va_list.
//
// Input: the first byte picks the argument set, the rest is the format,
// read with the whole C99 printf grammar (flags, "*", hh h l ll j z t L).
//   even: every argument slot points to a text. The texts lie on both sides
//         of a 4 GiB boundary, so a slot read as an int (a width or
//         precision taken by "*", a %d, a %hhx, a %c, a %lc) is a small
//         number between -kSpan and kSpan, read as a 64-bit integer (%lld,
//         %zu, %jd) a large one, read as a double a subnormal number, and
//         read as a pointer (%s, %p, %n) a valid text. The texts are
//         aligned and followed by zeros, so that read as wide text (%ls)
//         they end too. A long double (%Lf) takes two slots (or three, to
//         align them) and makes of them whatever the bits say, including
//         encodings no arithmetic produces. Nothing the engine can make of
//         a slot is undefined, and %n never stores.
//   odd:  the slots hold interesting doubles and ints, and the format's
//         "s", "p" and "*" are replaced, so no slot is taken as a text or a
//         width.
// Runs of more than kDigitRun digits are cut, and a "*" never touches a
// digit or another "*", so that every width and precision stays below
// 10^kDigitRun or kSpan: a width of 10^9 makes the engine render a
// gigabyte, which is what it is asked for but not what a fuzzer can afford
// per input. (Joined widths are covered by the engine's unit tests.)
//
// What is checked, beyond the sanitizers' findings: both buffers produce
// the same bytes; the count equals the bytes produced; the StringBuffer's
// last character is its content's last byte; room plus content equals
// capacity.

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "text/FileStream.h"
#include "text/StringBuffer.h"

namespace {

constexpr size_t kDigitRun = 4;
// Texts lie within this many bytes on either side of the 4 GiB boundary.
constexpr uintptr_t kSpan = 16384;
constexpr size_t kTextAlignment = 16;

// The va_list of the x86-64 System V ABI. With both register areas marked
// as used up, every va_arg (int, double or pointer) reads the next 8-byte
// slot of the overflow area.
struct SysVArgs {
    unsigned gpOffset;
    unsigned fpOffset;
    void* overflowArea;
    void* registerArea;
};
static_assert(sizeof(va_list) == sizeof(SysVArgs), "x86-64 System V va_list expected");
constexpr unsigned kGeneralRegistersUsed = 48;
constexpr unsigned kVectorRegistersUsed = 176;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

void Fail(const char* what) {
    std::fprintf(stderr, "format fuzzer: %s\n", what);
    std::abort();
}

// Texts the pointer slots point to: empty, short, with format characters
// and line feeds of their own, with bytes above 127, and long ones.
std::vector<std::string> Texts() {
    std::vector<std::string> texts = {"",
                                      "a",
                                      "abc",
                                      "x=%d %s %n %m",
                                      "line one\nline two\n",
                                      "\n",
                                      "\t\r\x01\x7f\xff\xc3\xa9",
                                      std::string(300, 'w'),
                                      std::string(9000, 'L') + "\n"};
    return texts;
}

// Memory whose addresses straddle a multiple of 4 GiB, filled with the
// texts; the pointers to them, in an order that mixes both sides.
class TextArena {
  public:
    TextArena() {
        // Addresses well away from where the system, the sanitizers and
        // the fuzzer place their own mappings.
        for (uintptr_t hint = uintptr_t{0x3100} << 32; hint < (uintptr_t{0x3200} << 32);
             hint += uintptr_t{1} << 32) {
            void* want = reinterpret_cast<void*>(hint - kSpan);
            void* got = mmap(want, 2 * kSpan, PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
            if (got == MAP_FAILED) {
                continue;
            }
            if (got != want) {
                munmap(got, 2 * kSpan);
                continue;
            }
            base_ = static_cast<char*>(got);
            break;
        }
        if (base_ == nullptr) {
            Fail("cannot map the argument texts");
        }
        // Below the boundary the low 32 bits read as negative ints, above
        // it as positive ones.
        std::vector<std::string> texts = Texts();
        char* below = base_;
        char* above = base_ + kSpan;
        for (size_t i = 0; i < texts.size(); ++i) {
            for (char** side : {&below, &above}) {
                char* at = *side;
                std::memcpy(at, texts[i].c_str(), texts[i].size() + 1);
                pointers_.push_back(at);
                // The mapping is zeroed: the next text starts aligned, past
                // a whole wide character of zeros.
                size_t used = texts[i].size() + 1 + sizeof(wchar_t);
                *side += (used + kTextAlignment - 1) / kTextAlignment * kTextAlignment;
            }
        }
        if (below > base_ + kSpan || above > base_ + 2 * kSpan) {
            Fail("argument texts do not fit");
        }
    }
    const std::vector<const char*>& Pointers() const { return pointers_; }

  private:
    char* base_ = nullptr;
    std::vector<const char*> pointers_;
};

// 64-bit slots that read well both as doubles and as ints.
std::vector<uint64_t> NumberSlots() {
    std::vector<uint64_t> slots;
    const double doubles[] = {0.0,    -0.0,     1.0,       -1.5,     0.1,     123456.789,
                              1e33,   -1e300,   DBL_MAX,   -DBL_MAX, DBL_MIN, 5e-324,
                              1e-310, HUGE_VAL, -HUGE_VAL, NAN,      -NAN,    9.5,
                              0.5,    1e15,     2.5e-5,    -7e22};
    for (double d : doubles) {
        uint64_t bits;
        std::memcpy(&bits, &d, sizeof bits);
        slots.push_back(bits);
    }
    const int32_t ints[] = {0, 1, -1, 42, -42, 255, 256, 65, 10, INT32_MAX, INT32_MIN, 1000};
    for (int32_t v : ints) {
        slots.push_back(static_cast<uint64_t>(static_cast<int64_t>(v)));
    }
    // 64-bit integers, and the words of long doubles: a mantissa with its
    // integer bit, and the exponents of 1, of infinity and NaN, of -2.
    const uint64_t wide[] = {
        uint64_t{1} << 63,  ~uint64_t{0} >> 1, uint64_t{1} << 40, 0x3FFF, 0x7FFF, 0xC000,
        0xC000000000000000u};
    for (uint64_t v : wide) {
        slots.push_back(v);
    }
    return slots;
}

// A memory file the FileStream writes to, read back after each input.
class MemoryFile {
  public:
    MemoryFile() {
        fd_ = memfd_create("vosk-format-fuzz", 0);
        if (fd_ < 0) {
            Fail("cannot create the memory file");
        }
    }
    int Descriptor() const { return fd_; }
    void Clear() {
        if (ftruncate(fd_, 0) != 0 || lseek(fd_, 0, SEEK_SET) != 0) {
            Fail("cannot empty the memory file");
        }
    }
    std::string Contents() const {
        std::string out;
        char chunk[65536];
        off_t at = 0;
        for (;;) {
            ssize_t n = pread(fd_, chunk, sizeof chunk, at);
            if (n < 0) {
                Fail("cannot read the memory file");
            }
            if (n == 0) {
                return out;
            }
            out.append(chunk, static_cast<size_t>(n));
            at += n;
        }
    }

  private:
    int fd_ = -1;
};

// Formats with the given slots as the argument list.
int32_t Render(vosk::TextBuffer& target, const char* format, std::vector<uint64_t>& slots) {
    SysVArgs raw{kGeneralRegistersUsed, kVectorRegistersUsed, slots.data(), nullptr};
    va_list args;
    std::memcpy(static_cast<void*>(&args), &raw, sizeof raw);
    // The same error text for %m in both runs.
    errno = ENOENT;
    return target.AppendFormatV(format, args);
}

void CheckInvariants(const vosk::TextBuffer& buffer) {
    if (buffer.Room() + buffer.ContentLength() != buffer.Capacity()) {
        Fail("room and content do not add up to the capacity");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const TextArena arena;
    static MemoryFile file;
    if (size == 0) {
        return 0;
    }
    const bool numbers = (data[0] & 1) != 0;
    std::string format;
    size_t digits = 0;
    for (size_t i = 1; i < size && data[i] != 0; ++i) {
        char c = static_cast<char>(data[i]);
        digits = IsDigit(c) ? digits + 1 : 0;
        if (digits > kDigitRun) {
            continue;
        }
        if (numbers && (c == 's' || c == 'p' || c == '*')) {
            c = 'd';
        }
        // A "*" next to digits or another "*" joins two numbers into one
        // width ("%*5d" with 16000 reads as %160005d): kept apart by a ".".
        char before = format.empty() ? 0 : format.back();
        if ((before == '*' && (IsDigit(c) || c == '*')) || (c == '*' && IsDigit(before))) {
            format += '.';
            digits = IsDigit(c) ? 1 : 0;
        }
        format += c;
    }

    // Each format byte consumes at most one slot (a long double's two or
    // three take three bytes, "%Lf"); a few spare ones beyond. The vector's
    // storage is aligned for a long double.
    std::vector<uint64_t> slots;
    const std::vector<uint64_t> numberSlots = NumberSlots();
    const std::vector<const char*>& pointers = arena.Pointers();
    for (size_t i = 0; i < format.size() + 8; ++i) {
        if (numbers) {
            slots.push_back(numberSlots[(i * 7 + data[0] / 2) % numberSlots.size()]);
        } else {
            slots.push_back(
                reinterpret_cast<uintptr_t>(pointers[(i * 5 + data[0] / 2) % pointers.size()]));
        }
    }

    vosk::StringBuffer text;
    int32_t count = Render(text, format.c_str(), slots);
    CheckInvariants(text);
    std::string expected(text.Data(), static_cast<size_t>(text.ContentLength()));
    if (count != text.Length()) {
        Fail("the count differs from the characters produced");
    }
    char last = expected.empty() ? 0 : expected.back();
    if (text.LastChar() != last) {
        Fail("LastChar is not the last character produced");
    }

    file.Clear();
    {
        vosk::FileStream stream(file.Descriptor());
        int32_t streamed = Render(stream, format.c_str(), slots);
        CheckInvariants(stream);
        if (stream.Sync() <= 0) {
            Fail("the stream could not be synced");
        }
        if (streamed != count) {
            Fail("the stream and the string counted differently");
        }
    }
    if (file.Contents() != expected) {
        Fail("the stream and the string produced different text");
    }
    return 0;
}
