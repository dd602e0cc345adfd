#pragma once

#include <cstdint>

namespace vosk {

// Work posted to the maintenance thread, carried out in the order posted.
struct MaintenanceCommand {
    enum Kind : int32_t { kDestroyLog = 1, kSetDiskLimit = 2, kDeleteRetired = 3 };

    MaintenanceCommand(uintptr_t v, int32_t k) : value(v), kind(k) {}

    uintptr_t value;  // the LogHandle to destroy, or the disk limit in per mille (else 0)
    int32_t kind;
};

}  // namespace vosk
