// Disk sizes reported in 32-bit cluster counts.
#pragma once

#include <cstdint>

namespace vosk::platform {

// Halves both counts until both fit in 32 bits, so that their ratio, which
// is all that callers use, stays right on disks with more than 2^32 blocks.
inline void ScaleClusters(uint64_t freeCount, uint64_t totalCount, uint32_t* freeClusters,
                          uint32_t* totalClusters) {
    while (freeCount > UINT32_MAX || totalCount > UINT32_MAX) {
        freeCount >>= 1;
        totalCount >>= 1;
    }
    *freeClusters = static_cast<uint32_t>(freeCount);
    *totalClusters = static_cast<uint32_t>(totalCount);
}

}  // namespace vosk::platform
