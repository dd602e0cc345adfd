// POSIX sizes of the platform's objects that the library embeds, for the
// portable headers. The build puts this folder on the include path of a
// POSIX build only; its Windows twin lives in win32/include/. No system
// header is included, so that none reaches the code above the platform
// layer; the .cpp files that use the native objects check that they fit.
#pragma once

#include <cstddef>

#include "platform/ThreadAnnotations.h"

namespace vosk::platform {

// What a host passes for a long double argument (%Lf and the like): the
// platform's own long double.
using HostLongDouble = long double;

// Each holds a pthread_mutex_t (24 bytes on i386, 40 on x86_64, 48 on
// aarch64) or a pthread_cond_t (48 bytes).
struct SectionStorage {
    alignas(16) unsigned char bytes[64];
};
struct CAPABILITY("mutex") MutexStorage {
    alignas(16) unsigned char bytes[64];
};
struct CondStorage {
    alignas(16) unsigned char bytes[64];
};

// Longest path the system accepts, terminating NUL included (PATH_MAX).
constexpr int kPathLimit = 4096;

// Room for the executable's path when its directory is asked for, and the
// characters that separate the components of such a path.
constexpr size_t kExecutablePathLimit = 4096;
// A POSIX path separates with '/', and the layer accepts '\\' as well.
constexpr char kPathSeparators[] = "/\\";

}  // namespace vosk::platform
