# The header's format attribute at work: a call whose arguments match its
# format builds with -Werror=format, and a call giving "%s" an int does not,
# in C and in C++. Run as: cmake -DCOMPILER=... -DLANGUAGE=c|c++
# -DINCLUDE=<include dir> -DSOURCES=<dir> -P check_format_attribute.cmake
foreach(var COMPILER LANGUAGE INCLUDE SOURCES)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

function(compile source result output)
  execute_process(
    COMMAND ${COMPILER} -x ${LANGUAGE} -fsyntax-only -Wall -Werror=format -I${INCLUDE}
            ${SOURCES}/${source}
    RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
  set(${result} ${code} PARENT_SCOPE)
  set(${output} "${out}" PARENT_SCOPE)
endfunction()

compile(matched.c code out)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "matched formats did not build (${LANGUAGE}):\n${out}")
endif()

compile(mismatched.c code out)
if(code EQUAL 0)
  message(FATAL_ERROR "a mismatched format built (${LANGUAGE}): the format attribute is missing")
endif()
if(NOT out MATCHES "format")
  message(FATAL_ERROR "a mismatched format failed for another reason (${LANGUAGE}):\n${out}")
endif()
