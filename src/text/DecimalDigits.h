// The library's one decimal renderer: the digits of integers, two at a
// time from a table of the hundred pairs, half the divisions of a
// digit-by-digit loop. Divisions stay 32-bit while the value fits, since
// 64-bit division is a library call on the 32-bit target.
#pragma once

#include <cstdint>

namespace vosk {

class DecimalDigits {
  public:
    // The number of decimal digits of v (1 for 0).
    static uint32_t Count(uint64_t v) {
        uint32_t n = 1;
        while (v > UINT32_MAX) {
            v /= 10000;
            n += 4;
        }
        uint32_t low = static_cast<uint32_t>(v);
        for (;;) {
            if (low < 10) {
                return n;
            }
            if (low < 100) {
                return n + 1;
            }
            if (low < 1000) {
                return n + 2;
            }
            if (low < 10000) {
                return n + 3;
            }
            low /= 10000;
            n += 4;
        }
    }

    // Writes the digits of v so that the last one lands just before end;
    // returns where the first one is.
    static char* Backward(uint64_t v, char* end) {
        while (v > UINT32_MAX) {
            const uint64_t q = v / 100;
            end = PutPair(static_cast<uint32_t>(v - q * 100), end);
            v = q;
        }
        uint32_t low = static_cast<uint32_t>(v);
        while (low >= 100) {
            const uint32_t q = low / 100;
            end = PutPair(low - q * 100, end);
            low = q;
        }
        if (low >= 10) {
            return PutPair(low, end);
        }
        *--end = static_cast<char>('0' + low);
        return end;
    }

    // Writes exactly count digits of v (v < 10^count), zeros in front:
    // pairs from the end, the zeros in front coming as pairs of zeros.
    static void Fixed(uint64_t v, uint32_t count, char* out) {
        char* end = out + count;
        for (; count >= 2 && v > UINT32_MAX; count -= 2) {
            const uint64_t q = v / 100;
            end = PutPair(static_cast<uint32_t>(v - q * 100), end);
            v = q;
        }
        uint32_t low = static_cast<uint32_t>(v);
        for (; count >= 2; count -= 2) {
            const uint32_t q = low / 100;
            end = PutPair(low - q * 100, end);
            low = q;
        }
        if (count == 1) {
            end[-1] = static_cast<char>('0' + low);
        }
    }

    // Writes the digits of v at out; returns their number.
    static uint32_t Forward(uint64_t v, char* out) {
        const uint32_t n = Count(v);
        Backward(v, out + n);
        return n;
    }

    // Writes v in at least width characters, pad in front of the digits;
    // returns the number written.
    static uint32_t Padded(uint64_t v, uint32_t width, char pad, char* out) {
        const uint32_t n = Count(v);
        const uint32_t total = n < width ? width : n;
        for (uint32_t i = n; i < width; ++i) {
            *out++ = pad;
        }
        Backward(v, out + n);
        return total;
    }

    // Room that any Signed text fits in: a sign and ten digits.
    static constexpr uint32_t kSignedRoom = 12;
    // Writes v, with a "-" in front when negative; returns the length.
    static uint32_t Signed(int32_t v, char* out) {
        if (v >= 0) {
            return Forward(static_cast<uint32_t>(v), out);
        }
        *out = '-';
        return 1 + Forward(0u - static_cast<uint32_t>(v), out + 1);
    }

  private:
    static char* PutPair(uint32_t pair, char* end) {
        end -= 2;
        end[0] = kPairs[2 * pair];
        end[1] = kPairs[2 * pair + 1];
        return end;
    }

    static constexpr char kPairs[201] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
};

}  // namespace vosk
