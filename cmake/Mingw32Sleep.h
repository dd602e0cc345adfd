/*
 * Forced into every C++ file of an i686 Windows build. The build uses a
 * 64-bit time_t there, but winpthreads' nanosleep reads the 32-bit timespec,
 * so libstdc++'s inline std::this_thread::sleep_for, which calls it, returns
 * at once for any sleep below a second. Without _GLIBCXX_USE_NANOSLEEP the
 * header calls the runtime's own compiled sleep, which agrees with it.
 */
#include <bits/c++config.h>
#undef _GLIBCXX_USE_NANOSLEEP
