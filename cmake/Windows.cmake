# What a Windows user gets besides the DLL: a version resource, an import
# library that Microsoft's linker accepts, and a Release DLL (and programs)
# without debug information, which stays beside each in <file>.debug.
enable_language(RC)
configure_file(${PROJECT_SOURCE_DIR}/src/api/VOSK_Log.rc.in ${PROJECT_BINARY_DIR}/VOSK_Log.rc @ONLY)
target_sources(VOSK_Log PRIVATE ${PROJECT_BINARY_DIR}/VOSK_Log.rc)

function(vosk_split_debug_info target)
  if(CMAKE_BUILD_TYPE STREQUAL "Release")
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}>
              $<TARGET_FILE_NAME:${target}>.debug
      COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug
              $<TARGET_FILE_NAME:${target}>
      WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
      VERBATIM)
  endif()
endfunction()
vosk_split_debug_info(VOSK_Log)

# The GNU import library (libVOSK_Log.dll.a) is an archive that MSVC's
# linker refuses for x86 with /SAFESEH; the short import format from the
# .def is accepted by both linkers.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(VOSK_DLLTOOL_MACHINE i386)
else()
  set(VOSK_DLLTOOL_MACHINE i386:x86-64)
endif()
find_program(VOSK_DLLTOOL NAMES llvm-dlltool llvm-dlltool-16 llvm-dlltool-15 llvm-dlltool-14)
if(VOSK_DLLTOOL)
  set(VOSK_MSVC_IMPLIB $<TARGET_FILE_DIR:VOSK_Log>/VOSK_Log.lib)
  add_custom_command(TARGET VOSK_Log POST_BUILD
    COMMAND ${VOSK_DLLTOOL} -m ${VOSK_DLLTOOL_MACHINE} -d ${PROJECT_SOURCE_DIR}/src/api/VOSK_Log.def
            -l ${VOSK_MSVC_IMPLIB}
    VERBATIM)
  install(FILES ${VOSK_MSVC_IMPLIB} DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)
else()
  message(WARNING "llvm-dlltool not found: no VOSK_Log.lib for Microsoft's linker")
endif()
install(FILES ${PROJECT_SOURCE_DIR}/src/api/VOSK_Log.def
  DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)
