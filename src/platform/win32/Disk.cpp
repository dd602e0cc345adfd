#include <windows.h>

#include "platform/Disk.h"

namespace vosk::platform {

bool DiskClusters(uint32_t* freeClusters, uint32_t* totalClusters) {
    if (freeClusters == nullptr || totalClusters == nullptr) {
        return false;
    }
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeCount = 0;
    DWORD totalCount = 0;
    // A null root means the disk of the current directory.
    if (!GetDiskFreeSpaceA(nullptr, &sectorsPerCluster, &bytesPerSector, &freeCount, &totalCount) ||
        totalCount == 0) {
        return false;
    }
    *freeClusters = freeCount;
    *totalClusters = totalCount;
    return true;
}

}  // namespace vosk::platform
