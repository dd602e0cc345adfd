// How full the disk is.
#pragma once

#include <cstdint>

namespace vosk::platform {

// Clusters free to the caller and in total, for the disk that holds the
// current directory. False when the system cannot tell.
bool DiskClusters(uint32_t* freeClusters, uint32_t* totalClusters);

}  // namespace vosk::platform
