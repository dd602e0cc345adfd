// The records asked for: stamped at or after since and before until, so
// that ranges that meet never give a record twice.
#pragma once

#include <cstdint>

namespace vosklogread {

struct TimeRange {
    bool hasSince = false;
    int64_t since = 0;
    bool hasUntil = false;
    int64_t until = 0;

    bool Contains(int64_t ms) const {
        return (!hasSince || ms >= since) && (!hasUntil || ms < until);
    }
    // Whether a file whose records lie within [first, last] may hold one
    // of the range.
    bool Meets(int64_t first, int64_t last) const {
        return (!hasSince || last >= since) && (!hasUntil || first < until);
    }
};

}  // namespace vosklogread
