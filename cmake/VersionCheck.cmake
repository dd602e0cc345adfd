# The header's version macros must name the version that project() declares:
# hosts compare against them, packages and the DLL's resource carry the other.
file(STRINGS ${PROJECT_SOURCE_DIR}/include/VOSK_Log.h vosk_version_lines
  REGEX "^#define VOSK_LOG_VERSION_(MAJOR|MINOR|PATCH) ")
foreach(part MAJOR MINOR PATCH)
  set(vosk_header_${part} "")
  foreach(line IN LISTS vosk_version_lines)
    if(line MATCHES "^#define VOSK_LOG_VERSION_${part} +([0-9]+)")
      set(vosk_header_${part} ${CMAKE_MATCH_1})
    endif()
  endforeach()
  if(NOT "${vosk_header_${part}}" STREQUAL "${PROJECT_VERSION_${part}}")
    message(FATAL_ERROR "include/VOSK_Log.h: VOSK_LOG_VERSION_${part} is "
      "'${vosk_header_${part}}', project() says ${PROJECT_VERSION_${part}}")
  endif()
endforeach()
