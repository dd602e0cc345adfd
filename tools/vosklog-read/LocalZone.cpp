#include "LocalZone.h"

#include <ctime>

#include "Stamp.h"
#include "platform/Time.h"

namespace vosklogread {

namespace {

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0);
}

}  // namespace

bool LocalZone::OffsetAt(int64_t t, int64_t* offset) {
    std::tm tm;
    if (!vosk::platform::ZoneCalendar(static_cast<time_t>(t), &tm)) {
        return false;
    }
    const int64_t wall = CivilDays(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday) * 86400 +
                         tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
    *offset = wall - t;
    return true;
}

LocalInstant LocalZone::Resolve(int64_t wallMs) {
    const int64_t wall = FloorDiv(wallMs, 1000);
    const int64_t ms = wallMs - wall * 1000;
    if (wall != cachedSecond_) {
        // The offsets a day before and after cover the reading's
        // neighbourhood: each candidate instant is kept when its own
        // offset agrees with it.
        int64_t before = 0;
        int64_t after = 0;
        LocalInstant found;
        if (!OffsetAt(wall - 86400, &before) || !OffsetAt(wall + 86400, &after)) {
            found.earliest = found.latest = wall * 1000;
        } else {
            int64_t first = wall - before;
            int64_t second = wall - after;
            int64_t check = 0;
            const bool firstHolds = OffsetAt(first, &check) && check == before;
            const bool secondHolds = OffsetAt(second, &check) && check == after;
            if (firstHolds && secondHolds) {
                found.earliest = (first < second ? first : second) * 1000;
                found.latest = (first < second ? second : first) * 1000;
            } else if (firstHolds || secondHolds) {
                found.earliest = found.latest = (firstHolds ? first : second) * 1000;
            } else {
                found.earliest = found.latest = first * 1000;
                found.skipped = true;
            }
        }
        cachedSecond_ = wall;
        cached_ = found;
    }
    LocalInstant instant = cached_;
    instant.earliest += ms;
    instant.latest += ms;
    return instant;
}

int64_t LocalZone::Nearest(int64_t wallMs, int64_t near) {
    const LocalInstant instant = Resolve(wallMs);
    if (!instant.Ambiguous()) {
        return instant.earliest;
    }
    const int64_t toEarliest =
        near > instant.earliest ? near - instant.earliest : instant.earliest - near;
    const int64_t toLatest = near > instant.latest ? near - instant.latest : instant.latest - near;
    return toEarliest <= toLatest ? instant.earliest : instant.latest;
}

}  // namespace vosklogread
