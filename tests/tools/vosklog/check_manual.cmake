# The manual page lints clean: mandoc reports nothing, not even a style
# note. Run as: cmake -DMANDOC=<mandoc> -DPAGE=<page> -P check_manual.cmake
if(NOT MANDOC OR NOT PAGE)
  message(FATAL_ERROR "MANDOC and PAGE must be set")
endif()
execute_process(COMMAND ${MANDOC} -Tlint -W style ${PAGE}
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT result EQUAL 0 OR NOT "${out}${err}" STREQUAL "")
  message(FATAL_ERROR "mandoc -Tlint ${PAGE} (exit ${result}):\n${out}${err}")
endif()
