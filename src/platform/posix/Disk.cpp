#include <sys/statvfs.h>

#include "platform/ClusterScale.h"
#include "platform/Disk.h"

namespace vosk::platform {

// Blocks available to an unprivileged caller, as Windows counts the clusters
// free to the caller.
bool DiskClusters(const char* directory, uint32_t* freeClusters, uint32_t* totalClusters) {
    if (directory == nullptr || freeClusters == nullptr || totalClusters == nullptr) {
        return false;
    }
    struct statvfs vfs;
    if (statvfs(directory, &vfs) != 0 || vfs.f_blocks == 0) {
        return false;
    }
    ScaleClusters(vfs.f_bavail, vfs.f_blocks, freeClusters, totalClusters);
    return true;
}

}  // namespace vosk::platform
