// A zone rule of the test's own for this process and the children it
// starts (the TZ variable, in the POSIX form), so that a change of the
// clock comes when a test wants it; the zone before is put back at the
// end. POSIX systems only: the form is not Windows'.
#pragma once

#include <stdlib.h>
#include <time.h>

#include <cstdio>
#include <ctime>
#include <string>

namespace vosk::test {

class ZoneRule {
  public:
    explicit ZoneRule(const std::string& rule) {
        const char* old = getenv("TZ");
        had_ = old != nullptr;
        if (had_) {
            old_ = old;
        }
        setenv("TZ", rule.c_str(), 1);
        tzset();
    }
    ~ZoneRule() {
        if (had_) {
            setenv("TZ", old_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    ZoneRule(const ZoneRule&) = delete;
    ZoneRule& operator=(const ZoneRule&) = delete;

  private:
    bool had_ = false;
    std::string old_;
};

// "XST-1XDT-2,J1/0,J<day>/<hh:mm:ss>": UTC+2 from January 1st until the
// moment at of local summer time, UTC+1 after it; the local hour before
// at comes again. Empty where the day cannot be written so (February
// 29th, January 1st).
inline std::string FallBackRule(time_t at) {
    const time_t summer = at + 2 * 3600;
    std::tm day;
    gmtime_r(&summer, &day);
    const int year = day.tm_year + 1900;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if ((day.tm_mon == 1 && day.tm_mday == 29) || day.tm_yday == 0) {
        return {};
    }
    // Jn counts 1 to 365 and never February 29th.
    const int julian = day.tm_yday + 1 - (leap && day.tm_mon > 1 ? 1 : 0);
    char rule[64];
    std::snprintf(rule, sizeof(rule), "XST-1XDT-2,J1/0,J%d/%02d:%02d:%02d", julian, day.tm_hour,
                  day.tm_min, day.tm_sec);
    return rule;
}

}  // namespace vosk::test
