#include "log/RecordStamp.h"

#include <cstring>

#include "text/DecimalDigits.h"

namespace vosk {

namespace {

// Appends v in decimal, at least width digits, padded on the left.
char* PutNumber(char* p, unsigned v, uint32_t width, char pad) {
    return p + DecimalDigits::Padded(v, width, pad, p);
}

bool SameSecond(const platform::LocalTime& a, const platform::LocalTime& b) {
    return a.second == b.second && a.minute == b.minute && a.hour == b.hour && a.day == b.day &&
           a.month == b.month && a.year == b.year;
}

}  // namespace

const char* RecordStamp::Render(const platform::LocalTime& t) {
    const unsigned ms = t.milliseconds;
    if (valid_ && ms < 1000 && SameSecond(t, second_)) {
        DecimalDigits::Fixed(ms, 3, text_ + prefix_);
        return text_;
    }
    char* p = text_;
    *p++ = '[';
    p = PutNumber(p, t.year, 4, ' ');
    *p++ = '-';
    p = PutNumber(p, t.month, 2, '0');
    *p++ = '-';
    p = PutNumber(p, t.day, 2, '0');
    *p++ = ' ';
    p = PutNumber(p, t.hour, 2, '0');
    *p++ = ':';
    p = PutNumber(p, t.minute, 2, '0');
    *p++ = ':';
    p = PutNumber(p, t.second, 2, '0');
    *p++ = '.';
    prefix_ = static_cast<int32_t>(p - text_);
    p = PutNumber(p, ms, 3, '0');
    *p++ = ']';
    *p++ = ' ';
    length_ = static_cast<int32_t>(p - text_);
    // Only a three-digit millisecond field can be rewritten in place.
    valid_ = ms < 1000;
    second_ = t;
    return text_;
}

}  // namespace vosk
