#pragma once

#include <cstdint>
#include <ctime>
#include <functional>

namespace vosk {

class Clock;

// What the maintenance thread asks of the world, replaceable so that its
// rules can be checked without a real disk or real waiting.
struct MaintenanceHooks {
    // Clusters free to the caller and in total on the disk that holds
    // directory; false when unknown.
    std::function<bool(const char* directory, uint32_t* freeClusters, uint32_t* totalClusters)>
        diskClusters;
    // Frees space under a log directory; t is the log's last write.
    std::function<void(const char* directory, time_t t)> pruneArchive;
    // The monotonic clock of the 10-second rule; the system clock when null.
    Clock* clock = nullptr;
    // How long a turn waits for a command before it runs an idle pass.
    int32_t idleWaitMs = 500;
};

// The hooks a loaded library runs with: the real disk, the real cleanup.
MaintenanceHooks SystemMaintenanceHooks();

}  // namespace vosk
