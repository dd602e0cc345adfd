// Standard input into lines, until it ends or a stop is requested.
#pragma once

#include <functional>

#include "LineSplitter.h"

namespace vosklog {

enum class InputEnd { kEnd, kStopped, kError };

// Feeds everything read to the splitter and finishes it, so that a last
// line without a line end is handed out too. onRequests runs when requests
// other than a stop come (platform::TakeRequests takes them).
InputEnd PumpInput(LineSplitter& splitter, const std::function<void()>& onRequests);

}  // namespace vosklog
