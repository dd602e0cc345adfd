// How full the disk is.
#pragma once

#include <cstdint>

namespace vosk::platform {

// Clusters free to the caller and in total, for the disk that holds
// directory (the disk its logs and archives are on, wherever the process's
// current directory is). False when the system cannot tell.
bool DiskClusters(const char* directory, uint32_t* freeClusters, uint32_t* totalClusters);

}  // namespace vosk::platform
