#include "log/RecordStamp.h"

#include <cstddef>
#include <cstring>

#include "text/DecimalDigits.h"

namespace vosk {

namespace {

// Appends v in decimal, at least width digits, padded on the left.
char* PutNumber(char* p, unsigned v, uint32_t width, char pad) {
    return p + DecimalDigits::Padded(v, width, pad, p);
}

// Every field but the milliseconds, the last one, compared as two
// overlapping words; the day of the week is compared too, which a stamp of
// the same second always shares.
bool SameSecond(const platform::LocalTime& a, const platform::LocalTime& b) {
    static_assert(
        sizeof(platform::LocalTime) == 16 && offsetof(platform::LocalTime, milliseconds) == 14,
        "the milliseconds are the last two bytes");
    uint64_t a0;
    uint64_t a1;
    uint64_t b0;
    uint64_t b1;
    std::memcpy(&a0, &a, 8);
    std::memcpy(&a1, reinterpret_cast<const char*>(&a) + 6, 8);
    std::memcpy(&b0, &b, 8);
    std::memcpy(&b1, reinterpret_cast<const char*>(&b) + 6, 8);
    return a0 == b0 && a1 == b1;
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back (the
// civil-date algorithms of H. Hinnant's "chrono-compatible low-level date
// algorithms"): the runtime has no zone-free conversion that both targets
// share.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t days, int64_t* y, int64_t* m, int64_t* d) {
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = yoe + era * 400 + (*m <= 2);
}

}  // namespace

platform::LocalTime RecordStamp::Universal(const platform::ZonedTime& t) {
    const platform::LocalTime& l = t.local;
    const int64_t minutes =
        (DaysFromCivil(l.year, l.month, l.day) * 24 + l.hour) * 60 + l.minute - t.utcOffsetMinutes;
    const int64_t days = minutes >= 0 ? minutes / 1440 : (minutes - 1439) / 1440;
    const int64_t inDay = minutes - days * 1440;
    int64_t y = 0;
    int64_t m = 0;
    int64_t d = 0;
    CivilFromDays(days, &y, &m, &d);
    platform::LocalTime u = l;
    u.year = static_cast<uint16_t>(y);
    u.month = static_cast<uint16_t>(m);
    u.day = static_cast<uint16_t>(d);
    u.dayOfWeek = static_cast<uint16_t>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
    u.hour = static_cast<uint16_t>(inDay / 60);
    u.minute = static_cast<uint16_t>(inDay % 60);
    return u;
}

const char* RecordStamp::Render(const platform::ZonedTime& zoned, StampForm form) {
    const unsigned ms = zoned.local.milliseconds;
    // The local form never looks at the offset.
    if (valid_ && ms < 1000 && form == form_ && SameSecond(zoned.local, second_.local) &&
        (form == StampForm::kLocal || zoned.utcOffsetMinutes == second_.utcOffsetMinutes)) {
        DecimalDigits::Fixed(ms, 3, text_ + prefix_);
        return text_;
    }
    const platform::LocalTime t = form == StampForm::kUtc ? Universal(zoned) : zoned.local;
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
    if (form == StampForm::kUtc) {
        *p++ = 'Z';
    } else if (form == StampForm::kLocalOffset) {
        const int32_t offset = zoned.utcOffsetMinutes;
        const unsigned away = static_cast<unsigned>(offset < 0 ? -offset : offset);
        *p++ = ' ';
        *p++ = offset < 0 ? '-' : '+';
        p = PutNumber(p, away / 60, 2, '0');
        *p++ = ':';
        p = PutNumber(p, away % 60, 2, '0');
    }
    *p++ = ']';
    *p++ = ' ';
    length_ = static_cast<int32_t>(p - text_);
    // Only a three-digit millisecond field can be rewritten in place.
    valid_ = ms < 1000;
    second_ = zoned;
    form_ = form;
    return text_;
}

}  // namespace vosk
