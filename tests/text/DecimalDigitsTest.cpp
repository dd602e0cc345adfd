// The decimal renderer every number of the library goes through, against
// printf's text of the same values.
#include "text/DecimalDigits.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace vosk {
namespace {

TEST(DecimalDigits, UnsignedAtEveryLength) {
    // Each power of ten and its neighbours, up to the largest 64-bit value.
    std::vector<uint64_t> values = {0, UINT32_MAX, uint64_t{UINT32_MAX} + 1, UINT64_MAX};
    for (uint64_t p = 1; p <= UINT64_MAX / 10; p *= 10) {
        values.insert(values.end(), {p - 1, p, p + 1, p * 10 - 1});
    }
    for (uint64_t v : values) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "%" PRIu64, v);
        SCOPED_TRACE(expected);
        char out[32];
        const uint32_t n = DecimalDigits::Forward(v, out);
        EXPECT_EQ(std::string(out, n), expected);
        EXPECT_EQ(DecimalDigits::Count(v), n);
    }
}

TEST(DecimalDigits, SignedPaddedAndFixed) {
    struct Case {
        int32_t v;
        const char* text;
    };
    const Case signedCases[] = {{0, "0"},
                                {9, "9"},
                                {-1, "-1"},
                                {-10, "-10"},
                                {INT32_MAX, "2147483647"},
                                {INT32_MIN, "-2147483648"}};
    for (const Case& c : signedCases) {
        char out[DecimalDigits::kSignedRoom];
        EXPECT_EQ(std::string(out, DecimalDigits::Signed(c.v, out)), c.text);
    }
    struct PadCase {
        uint64_t v;
        uint32_t width;
        char pad;
        const char* text;
    };
    const PadCase padCases[] = {
        {7, 4, ' ', "   7"}, {2026, 4, ' ', "2026"}, {12345, 4, ' ', "12345"}, {5, 2, '0', "05"},
        {0, 3, '0', "000"},  {999, 3, '0', "999"},   {1000, 3, '0', "1000"},   {42, 0, '0', "42"}};
    for (const PadCase& c : padCases) {
        char out[32];
        EXPECT_EQ(std::string(out, DecimalDigits::Padded(c.v, c.width, c.pad, out)), c.text);
    }
}

// Fixed writes pairs from the end: every count, odd and even, with values
// that fill it, leave zeros in front, and pass 32 bits.
TEST(DecimalDigits, FixedAtEveryCount) {
    for (uint32_t count = 0; count <= 19; ++count) {
        uint64_t limit = 1;  // 10^count
        for (uint32_t i = 0; i < count; ++i) {
            limit *= 10;
        }
        std::vector<uint64_t> values = {0, 7, limit - 1, limit / 2, limit / 10, limit / 10 - 1};
        if (limit > UINT32_MAX) {
            values.insert(values.end(), {uint64_t{UINT32_MAX}, uint64_t{UINT32_MAX} + 1});
        }
        for (uint64_t v : values) {
            if (v >= limit) {
                continue;
            }
            char expected[32] = "";
            if (count > 0) {
                std::snprintf(expected, sizeof expected, "%0*" PRIu64, static_cast<int>(count), v);
            }
            SCOPED_TRACE(std::to_string(count) + " digits of " + std::to_string(v));
            char out[24];
            std::memset(out, '#', sizeof out);
            DecimalDigits::Fixed(v, count, out + 1);
            EXPECT_EQ(std::string(out + 1, count), expected);
            // Nothing written around the digits.
            EXPECT_EQ(out[0], '#');
            EXPECT_EQ(out[count + 1], '#');
        }
    }
}

}  // namespace
}  // namespace vosk
