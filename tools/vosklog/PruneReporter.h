// Tells on standard error of every folder the log's archive lost to a
// prune, one line each, on the library's thread:
//
//     vosklog: pruned /var/log/app/logfiles-2026/12/2026-12-01: 3 files, 1048576 bytes, folder
//     removed: older than 7 days
//
// (one line; see vosk::PruneLine for its parts).
#pragma once

#include <functional>
#include <string>

#include "log/PruneListener.h"

namespace vosklog {

class PruneReporter : public vosk::PruneListener {
  public:
    using Report = std::function<void(const std::string& line)>;

    // directory: the log's, before each folder's path.
    PruneReporter(std::string directory, Report report);

    void OnPruned(const vosk::PruneReport& report) override;

  private:
    std::string directory_;
    Report report_;
};

}  // namespace vosklog
