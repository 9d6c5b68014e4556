# The same bytes from every build of one source: every time that goes into
# an output is MELVOX_SOURCE_DATE_EPOCH, and no build or source folder path
# does.
#
# MELVOX_SOURCE_DATE_EPOCH is, in this order: the environment's
# SOURCE_DATE_EPOCH; the time of the last commit when the source folder is
# the top of a Git checkout; 315532800 (1980-01-01 00:00 UTC, the earliest
# time a FAT file system holds) otherwise.
#
# It reaches GNU ld through the environment: Debian's MinGW binutils take
# SOURCE_DATE_EPOCH for the PE header's time stamp and the export
# directory's. windres writes 0 into the resource directories, and the
# version information holds no date. The sample installer packs copies of
# its files carrying this time (samples/installer).

set(_epoch "$ENV{SOURCE_DATE_EPOCH}")
set(_epoch_from "SOURCE_DATE_EPOCH")
if(NOT _epoch STREQUAL "" AND NOT _epoch MATCHES "^[0-9]+$")
  message(FATAL_ERROR "SOURCE_DATE_EPOCH must be a number of seconds, not \"${_epoch}\"")
endif()
if(_epoch STREQUAL "")
  find_program(GIT_COMMAND git)
  if(GIT_COMMAND)
    execute_process(COMMAND ${GIT_COMMAND} rev-parse --show-toplevel
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
        OUTPUT_VARIABLE _top OUTPUT_STRIP_TRAILING_WHITESPACE
        RESULT_VARIABLE _rc ERROR_QUIET)
    # Only this project's own checkout: a source tree unpacked inside some
    # other repository must not take that repository's time.
    if(_rc EQUAL 0 AND _top STREQUAL CMAKE_SOURCE_DIR)
      execute_process(COMMAND ${GIT_COMMAND} log -1 --format=%ct
          WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
          OUTPUT_VARIABLE _epoch OUTPUT_STRIP_TRAILING_WHITESPACE
          RESULT_VARIABLE _rc ERROR_QUIET)
      set(_epoch_from "the last commit")
      if(NOT _rc EQUAL 0 OR NOT _epoch MATCHES "^[0-9]+$")
        set(_epoch "")
      endif()
    endif()
  endif()
endif()
if(_epoch STREQUAL "")
  set(_epoch 315532800)
  set(_epoch_from "the fixed time outside a Git checkout")
endif()
set(MELVOX_SOURCE_DATE_EPOCH ${_epoch})
message(STATUS "Time stamps: ${MELVOX_SOURCE_DATE_EPOCH}, from ${_epoch_from}")

# Every link runs with SOURCE_DATE_EPOCH set. The time is part of the link
# command, so a build folder configured again after a commit links again.
foreach(_lang C CXX)
  set(CMAKE_${_lang}_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${MELVOX_SOURCE_DATE_EPOCH})
endforeach()

# Names of files in the objects (__FILE__, and debug information in the
# test programs) relative to the source and build folders. The build
# folder is named last: it may lie inside the source folder, and the last
# matching map wins.
add_compile_options(
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.>"
    "$<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${CMAKE_BINARY_DIR}=.>")
