#include "Stamp.h"

namespace vosklogread {

namespace {

// Reads exactly n digits at text[at]; false when one is missing.
bool Digits(const char* text, size_t length, size_t at, int n, int* value) {
    if (at + static_cast<size_t>(n) > length) {
        return false;
    }
    int v = 0;
    for (int i = 0; i < n; ++i) {
        const char c = text[at + static_cast<size_t>(i)];
        if (c < '0' || c > '9') {
            return false;
        }
        v = v * 10 + (c - '0');
    }
    *value = v;
    return true;
}

bool At(const char* text, size_t length, size_t at, char c) {
    return at < length && text[at] == c;
}

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

bool InRange(const Stamp& s) {
    return s.month >= 1 && s.month <= 12 && s.day >= 1 && s.day <= DaysInMonth(s.year, s.month) &&
           s.hour <= 23 && s.minute <= 59 && s.second <= 59 && s.offsetMinutes > -24 * 60 &&
           s.offsetMinutes < 24 * 60;
}

// "YYYY-MM-DD" at text[at].
bool ReadDate(const char* text, size_t length, size_t at, Stamp* s) {
    return Digits(text, length, at, 4, &s->year) && At(text, length, at + 4, '-') &&
           Digits(text, length, at + 5, 2, &s->month) && At(text, length, at + 7, '-') &&
           Digits(text, length, at + 8, 2, &s->day);
}

// "+hh:mm", "+hhmm" or "+hh" at text[*at]; *at moves past it.
bool ReadOffset(const char* text, size_t length, size_t* at, int* minutes) {
    if (!At(text, length, *at, '+') && !At(text, length, *at, '-')) {
        return false;
    }
    const int sign = text[*at] == '-' ? -1 : 1;
    int hours = 0;
    int mins = 0;
    size_t p = *at + 1;
    if (!Digits(text, length, p, 2, &hours)) {
        return false;
    }
    p += 2;
    if (At(text, length, p, ':')) {
        ++p;
        if (!Digits(text, length, p, 2, &mins)) {
            return false;
        }
        p += 2;
    } else if (Digits(text, length, p, 2, &mins)) {
        p += 2;
    }
    if (hours > 23 || mins > 59) {
        return false;
    }
    *minutes = sign * (hours * 60 + mins);
    *at = p;
    return true;
}

}  // namespace

int64_t CivilDays(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

int64_t WallMs(const Stamp& s) {
    const int64_t seconds =
        CivilDays(s.year, s.month, s.day) * 86400 + s.hour * 3600 + s.minute * 60 + s.second;
    return seconds * 1000 + s.millisecond;
}

int64_t ZonedMs(const Stamp& s) {
    const int64_t offset = s.zone == Stamp::Zone::kOffset ? s.offsetMinutes : 0;
    return WallMs(s) - offset * 60000;
}

size_t StampLength(const Stamp& stamp) {
    switch (stamp.zone) {
        case Stamp::Zone::kUtc:
            return 26;
        case Stamp::Zone::kOffset:
            return 32;
        case Stamp::Zone::kNone:
            break;
    }
    return 25;
}

bool ParseRecordStamp(const char* line, size_t length, Stamp* stamp) {
    // "[YYYY-MM-DD hh:mm:ss.mmm" then "]", " +hh:mm]" or "Z]".
    Stamp s;
    if (!At(line, length, 0, '[') || !ReadDate(line, length, 1, &s) || !At(line, length, 11, ' ') ||
        !Digits(line, length, 12, 2, &s.hour) || !At(line, length, 14, ':') ||
        !Digits(line, length, 15, 2, &s.minute) || !At(line, length, 17, ':') ||
        !Digits(line, length, 18, 2, &s.second) || !At(line, length, 20, '.') ||
        !Digits(line, length, 21, 3, &s.millisecond)) {
        return false;
    }
    size_t at = 24;
    if (At(line, length, at, 'Z')) {
        s.zone = Stamp::Zone::kUtc;
        ++at;
    } else if (At(line, length, at, ' ')) {
        ++at;
        if (!ReadOffset(line, length, &at, &s.offsetMinutes) || at != 31) {
            return false;
        }
        s.zone = Stamp::Zone::kOffset;
    }
    if (!At(line, length, at, ']') || !InRange(s)) {
        return false;
    }
    *stamp = s;
    return true;
}

bool ParseGivenStamp(const std::string& given, Stamp* stamp) {
    std::string text = given;
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
        text = text.substr(1, text.size() - 2);
    }
    const char* t = text.c_str();
    const size_t length = text.size();
    Stamp s;
    if (!ReadDate(t, length, 0, &s)) {
        return false;
    }
    size_t at = 10;
    if (At(t, length, at, ' ') || At(t, length, at, 'T')) {
        if (!Digits(t, length, at + 1, 2, &s.hour) || !At(t, length, at + 3, ':') ||
            !Digits(t, length, at + 4, 2, &s.minute)) {
            return false;
        }
        at += 6;
        if (At(t, length, at, ':')) {
            if (!Digits(t, length, at + 1, 2, &s.second)) {
                return false;
            }
            at += 3;
            if (At(t, length, at, '.')) {
                if (!Digits(t, length, at + 1, 3, &s.millisecond)) {
                    return false;
                }
                at += 4;
            }
        }
    }
    if (At(t, length, at, 'Z')) {
        s.zone = Stamp::Zone::kUtc;
        ++at;
    } else {
        if (At(t, length, at, ' ')) {
            ++at;
        }
        if (at < length) {
            if (!ReadOffset(t, length, &at, &s.offsetMinutes)) {
                return false;
            }
            s.zone = Stamp::Zone::kOffset;
        }
    }
    if (at != length || !InRange(s)) {
        return false;
    }
    *stamp = s;
    return true;
}

}  // namespace vosklogread
