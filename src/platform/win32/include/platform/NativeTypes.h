// Windows sizes of the platform's objects that the library embeds, for the
// portable headers. The build puts this folder on the include path of a
// Windows build only; its POSIX twin lives in posix/include/. No system
// header is included, so that <windows.h> reaches no code above the
// platform layer; the .cpp files that use the native objects check that
// they fit.
#pragma once

#include <cstddef>

#include "platform/ThreadAnnotations.h"

namespace vosk::platform {

// Holds a CRITICAL_SECTION: six pointer-sized fields.
struct SectionStorage {
    alignas(void*) unsigned char bytes[6 * sizeof(void*)];
};
// An SRWLOCK and a CONDITION_VARIABLE: one pointer each.
struct CAPABILITY("mutex") MutexStorage {
    alignas(void*) unsigned char bytes[sizeof(void*)];
};
struct CondStorage {
    alignas(void*) unsigned char bytes[sizeof(void*)];
};

// What a host passes for a long double argument (%Lf and the like): the
// Windows ABI's long double is the 8-byte double, as MSVC, C# and ctypes
// hosts pass it, whatever compiler built the library (GCC's own is 80-bit).
using HostLongDouble = double;

// Longest path the system accepts, terminating NUL included: the
// extended-length form's 32767 characters (the Windows layer gives long
// absolute paths that form). Paths are UTF-8 inside, never shorter in
// bytes than in UTF-16 units, so a path within this many bytes fits.
constexpr int kPathLimit = 32767;

// Room for the executable's path when its directory is asked for, and the
// characters that separate the components of such a path.
// UTF-8 of the wide name: up to three bytes for each UTF-16 unit.
constexpr size_t kExecutablePathLimit = 4096;
constexpr char kPathSeparators[] = "\\";

}  // namespace vosk::platform
