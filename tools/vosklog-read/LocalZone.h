// The reader's own time zone (the TZ variable on POSIX, the system's zone
// on Windows), for stamps written without one: which instants a wall-clock
// reading stands for. Around a fall-back it stands for two, an hour apart;
// in a spring-forward gap for none.
#pragma once

#include <cstdint>

namespace vosklogread {

struct LocalInstant {
    int64_t earliest = 0;  // milliseconds since 1970
    int64_t latest = 0;    // equal to earliest unless the reading was ambiguous
    bool skipped = false;  // the clock jumped over it; taken at the offset before
    bool Ambiguous() const { return earliest != latest; }
};

class LocalZone {
  public:
    // wallMs: the reading as if it were UTC (WallMs).
    LocalInstant Resolve(int64_t wallMs);
    // The instant of the two nearest to near; the only one otherwise.
    int64_t Nearest(int64_t wallMs, int64_t near);

  private:
    // UTC offset in seconds at instant t (seconds since 1970).
    static bool OffsetAt(int64_t t, int64_t* offset);

    // Records come many to a second: the last second's answer is kept.
    int64_t cachedSecond_ = INT64_MIN;
    LocalInstant cached_;
};

}  // namespace vosklogread
