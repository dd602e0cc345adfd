#include <windows.h>

#include "platform/ClusterScale.h"
#include "platform/Disk.h"
#include "platform/win32/WideText.h"

namespace vosk::platform {

bool DiskClusters(const char* directory, uint32_t* freeClusters, uint32_t* totalClusters) {
    if (directory == nullptr || freeClusters == nullptr || totalClusters == nullptr) {
        return false;
    }
    // Any directory on the volume will do, a mounted folder included, where
    // GetDiskFreeSpace would want the volume's root.
    ULARGE_INTEGER freeToCaller;
    ULARGE_INTEGER total;
    if (!GetDiskFreeSpaceExW(WidePath(directory).c_str(), &freeToCaller, &total, nullptr) ||
        total.QuadPart == 0) {
        return false;
    }
    ScaleClusters(freeToCaller.QuadPart, total.QuadPart, freeClusters, totalClusters);
    return true;
}

}  // namespace vosk::platform
