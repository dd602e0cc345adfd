# The layers of src/ point one way: the platform layer includes nothing of
# the library above it, and only the platform layer speaks to the system
# (no <windows.h>, <sys/stat.h> or other POSIX and Windows headers,
# <cxxabi.h>, a platform's own headers, or _WIN32 tests elsewhere).
# Run as: cmake -DSOURCE_DIR=<repo>/src -P check_layers.cmake
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

set(failures "")

file(GLOB_RECURSE platform_files ${SOURCE_DIR}/platform/*.h ${SOURCE_DIR}/platform/*.cpp)
foreach(file IN LISTS platform_files)
  file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"(api|log|text|threading)/")
  foreach(line IN LISTS lines)
    file(RELATIVE_PATH name ${SOURCE_DIR} ${file})
    string(APPEND failures "  ${name}: ${line} (above the platform layer)\n")
  endforeach()
endforeach()

# The system's own headers: POSIX and Windows interfaces, and the C++ ABI.
# The C and C++ standard headers and libraries' own (zlib.h) are not among them.
set(system_headers
  "(sys|arpa|netinet|linux|asm)/[^>]*"
  "(windows|winbase|winnt|winioctl|shlobj|io|direct|share|process)\\.h"
  "(unistd|fcntl|dirent|pthread|semaphore|sched|dlfcn|spawn|poll|termios|cxxabi)\\.h")
list(JOIN system_headers "|" system_headers)

file(GLOB_RECURSE all_files ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
foreach(file IN LISTS all_files)
  file(RELATIVE_PATH name ${SOURCE_DIR} ${file})
  if(name MATCHES "^platform/")
    continue()
  endif()
  file(STRINGS ${file} lines REGEX
    "^[ \t]*#[ \t]*(include[ \t]*<(${system_headers})>|include[ \t]*\"platform/(posix|win32)/|if.*_WIN32)")
  foreach(line IN LISTS lines)
    string(APPEND failures "  ${name}: ${line} (system code outside the platform layer)\n")
  endforeach()
endforeach()

if(failures)
  message(FATAL_ERROR "Layering broken:\n${failures}")
endif()
