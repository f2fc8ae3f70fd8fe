# Writes OUTPUT, a header defining RUNEL_BUILD: the source tree's `git describe` (with "-dirty"
# for uncommitted changes), or empty outside a Git checkout. Run at every build (the
# runel_build_id target); the header is rewritten only when the id changed, so an unchanged id
# recompiles nothing.
# Usage: cmake -DSOURCE_DIR=... -DOUTPUT=... [-DGIT_EXECUTABLE=...] -P BuildId.cmake
set(build_id "")
if(GIT_EXECUTABLE)
    execute_process(COMMAND ${GIT_EXECUTABLE} describe --always --dirty
        WORKING_DIRECTORY ${SOURCE_DIR} OUTPUT_VARIABLE build_id RESULT_VARIABLE status
        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT status EQUAL 0)
        set(build_id "")
    endif()
endif()
set(text "#pragma once\n// Generated at build time by cmake/BuildId.cmake.\n#define RUNEL_BUILD \"${build_id}\"\n")
if(EXISTS ${OUTPUT})
    file(READ ${OUTPUT} old)
    if(old STREQUAL text)
        return()
    endif()
endif()
file(WRITE ${OUTPUT} "${text}")
