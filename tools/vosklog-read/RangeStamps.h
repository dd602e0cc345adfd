// The range's ends as the user gave them, made instants. A local stamp in
// an hour that happened twice is taken so that the range holds both
// readings (--since the first, --until the second), and the user is told.
#pragma once

#include <string>

#include "LocalZone.h"
#include "ReaderOptions.h"
#include "TimeRange.h"

namespace vosklogread {

// False, with a message, for a stamp that is no stamp; *notices gets a
// line for each end that was ambiguous or skipped by the clock.
bool ResolveRange(const ReaderOptions& options, LocalZone* zone, TimeRange* range,
                  std::string* error, std::string* notices);

}  // namespace vosklogread
