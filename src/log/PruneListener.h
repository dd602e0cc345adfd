// Told of what a prune of a log's archive deleted (see PruneReport).
#pragma once

#include "log/PruneReport.h"

namespace vosk {

class PruneListener {
  public:
    virtual ~PruneListener() = default;
    // Called on the library's thread after each prune that deleted
    // anything, outside the log's lock.
    virtual void OnPruned(const PruneReport& report) = 0;
};

}  // namespace vosk
