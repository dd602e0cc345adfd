# Installs the library, its header, a CMake package and a pkg-config file.
#   find_package(VOSK_Log 1.0 CONFIG)  ->  target VOSK_Log::VOSK_Log
#   pkg-config --cflags --libs VOSK_Log
# A program of the project installs with vosk_install_program(<target>),
# its manual page with vosk_install_manual(<file> <section>).
# Components: Runtime (the library), Development (header, link, CMake and
# pkg-config files), Tools (the programs and their pages); the Debian
# packages are cut along them.
include(CMakePackageConfigHelpers)

set(VOSK_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/VOSK_Log)
# Windows archives keep the README and the license at their top.
if(WIN32)
  set(VOSK_INSTALL_DOCDIR .)
else()
  set(VOSK_INSTALL_DOCDIR ${CMAKE_INSTALL_DOCDIR})
endif()

install(TARGETS VOSK_Log EXPORT VOSK_LogTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime
    NAMELINK_COMPONENT Development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/VOSK_Log.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
  DESTINATION ${VOSK_INSTALL_DOCDIR} COMPONENT Runtime)

install(EXPORT VOSK_LogTargets NAMESPACE VOSK_Log:: FILE VOSK_LogTargets.cmake
  DESTINATION ${VOSK_INSTALL_CMAKEDIR} COMPONENT Development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/VOSK_LogConfig.cmake.in
  ${PROJECT_BINARY_DIR}/VOSK_LogConfig.cmake INSTALL_DESTINATION ${VOSK_INSTALL_CMAKEDIR})
# Also refuses a package built for another pointer size (a 32-bit DLL for a 64-bit host).
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VOSK_LogConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/VOSK_LogConfig.cmake
              ${PROJECT_BINARY_DIR}/VOSK_LogConfigVersion.cmake
  DESTINATION ${VOSK_INSTALL_CMAKEDIR} COMPONENT Development)

# The .pc file finds its prefix from where it lies, so that an installed tree
# or an unpacked archive may be moved; absolute directories stay absolute.
set(VOSK_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(VOSK_PC_PREFIX ${CMAKE_INSTALL_PREFIX})
  set(VOSK_PC_LIBDIR ${CMAKE_INSTALL_FULL_LIBDIR})
  set(VOSK_PC_INCLUDEDIR ${CMAKE_INSTALL_FULL_INCLUDEDIR})
else()
  file(RELATIVE_PATH up /prefix/${VOSK_PKGCONFIG_DIR} /prefix)
  string(REGEX REPLACE "/$" "" up "${up}")
  set(VOSK_PC_PREFIX "\${pcfiledir}/${up}")
  set(VOSK_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(VOSK_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/VOSK_Log.pc.in ${PROJECT_BINARY_DIR}/VOSK_Log.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/VOSK_Log.pc
  DESTINATION ${VOSK_PKGCONFIG_DIR} COMPONENT Development)

function(vosk_install_program target)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Tools)
endfunction()

# A program's manual page, in its section's directory, with the program
# (none in Windows archives, which have no manual).
function(vosk_install_manual page section)
  if(NOT WIN32)
    install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT Tools)
  endif()
endfunction()
