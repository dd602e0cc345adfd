#include "log/RotationPolicy.h"

namespace vosk {

bool RotationPolicy::IsLaterDay(const std::tm& now) const {
    // Only a later date is a new day. A clock stepped back (by hand, by a
    // time server, by a change of zone) keeps writing the current file
    // rather than moving it over the backup of the day it left.
    if (dayStart_.tm_mday == 0) {
        return true;  // no day yet: the first check of every log
    }
    if (now.tm_year != dayStart_.tm_year) {
        return now.tm_year > dayStart_.tm_year;
    }
    if (now.tm_mon != dayStart_.tm_mon) {
        return now.tm_mon > dayStart_.tm_mon;
    }
    return now.tm_mday > dayStart_.tm_mday;
}

void RotationPolicy::StartDay(const std::tm& now) {
    dayStart_.tm_year = now.tm_year;
    dayStart_.tm_mon = now.tm_mon;
    dayStart_.tm_mday = now.tm_mday;
    dayStart_.tm_hour = now.tm_hour;
    dayStart_.tm_min = now.tm_min;
    directory_.Assign(configured_.CStr());
}

}  // namespace vosk
