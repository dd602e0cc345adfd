#include "PruneReporter.h"

#include <utility>

#include "log/PruneLine.h"
#include "platform/CatchAll.h"

namespace vosklog {

PruneReporter::PruneReporter(std::string directory, Report report)
    : directory_(std::move(directory)), report_(std::move(report)) {}

void PruneReporter::OnPruned(const vosk::PruneReport& report) {
    for (const vosk::PrunedEntry& entry : report.entries) {
        // Without memory for its text a line goes untold; the prune does not.
        vosk::platform::CatchAll(
            [&] { report_("vosklog: " + vosk::PruneLine(report, entry, directory_.c_str())); });
    }
}

}  // namespace vosklog
