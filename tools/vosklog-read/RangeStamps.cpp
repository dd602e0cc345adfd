#include "RangeStamps.h"

#include <cstdio>
#include <cstdlib>

#include "Stamp.h"

namespace vosklogread {

namespace {

std::string OffsetText(int64_t offsetMs) {
    const int64_t minutes = offsetMs / 60000;
    const int64_t magnitude = std::llabs(minutes);
    char text[48];
    std::snprintf(text, sizeof(text), "%c%02lld:%02lld", minutes < 0 ? '-' : '+',
                  static_cast<long long>(magnitude / 60), static_cast<long long>(magnitude % 60));
    return text;
}

bool Resolve(const char* option, const std::string& given, bool takeLatest, LocalZone* zone,
             int64_t* ms, std::string* error, std::string* notices) {
    Stamp stamp;
    if (!ParseGivenStamp(given, &stamp)) {
        *error = std::string("bad stamp for ") + option + " '" + given +
                 "' (YYYY-MM-DD[ hh:mm[:ss[.mmm]]][Z|+hh:mm])";
        return false;
    }
    if (stamp.zone != Stamp::Zone::kNone) {
        *ms = ZonedMs(stamp);
        return true;
    }
    const int64_t wall = WallMs(stamp);
    const LocalInstant instant = zone->Resolve(wall);
    *ms = takeLatest ? instant.latest : instant.earliest;
    if (instant.Ambiguous()) {
        *notices += std::string(option) + " " + given +
                    ": this local time happened twice (the clock was set back); taken as the " +
                    (takeLatest ? "second, " : "first, ") + OffsetText(wall - *ms) +
                    ", so that the range holds both; give an offset (" +
                    OffsetText(wall - instant.earliest) + " or " +
                    OffsetText(wall - instant.latest) + ") to pick one\n";
    } else if (instant.skipped) {
        *notices += std::string(option) + " " + given +
                    ": this local time did not happen (the clock was set forward); taken as " +
                    OffsetText(wall - *ms) + "\n";
    }
    return true;
}

}  // namespace

bool ResolveRange(const ReaderOptions& options, LocalZone* zone, TimeRange* range,
                  std::string* error, std::string* notices) {
    if (!options.since.empty()) {
        if (!Resolve("--since", options.since, false, zone, &range->since, error, notices)) {
            return false;
        }
        range->hasSince = true;
    }
    if (!options.until.empty()) {
        if (!Resolve("--until", options.until, true, zone, &range->until, error, notices)) {
            return false;
        }
        range->hasUntil = true;
    }
    return true;
}

}  // namespace vosklogread
