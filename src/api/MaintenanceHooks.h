#pragma once

#include <cstdint>
#include <ctime>
#include <functional>

#include "log/PruneReport.h"
#include "platform/HeldDirectory.h"

namespace vosk {

class Clock;

// What the maintenance thread asks of the world, replaceable so that its
// rules can be checked without a real disk or real waiting.
struct MaintenanceHooks {
    // Clusters free to the caller and in total on the disk that holds
    // directory; false when unknown.
    std::function<bool(const char* directory, uint32_t* freeClusters, uint32_t* totalClusters)>
        diskClusters;
    // Frees space under a log directory, held open (null when the log has
    // not opened its file yet: then by its path); t is the log's last
    // write, use the disk's use that set the prune off. What went.
    std::function<PruneReport(const char* directory, const platform::HeldDirectory* held, time_t t,
                              const DiskUse& use)>
        pruneArchive;
    // The monotonic clock of the 10-second rule; the system clock when null.
    Clock* clock = nullptr;
    // How long a turn waits for a command before it runs an idle pass.
    int32_t idleWaitMs = 500;
};

// The hooks a loaded library runs with: the real disk, the real cleanup.
MaintenanceHooks SystemMaintenanceHooks();

}  // namespace vosk
