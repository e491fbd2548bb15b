# Writes ProgramBuildInfo.h: the project's version and `git describe` of the sources. Run at every
# build; the file is rewritten only when its text changes, so nothing is rebuilt for nothing.
# Usage: cmake -DOUTPUT=FILE -DVERSION=X.Y -DSOURCE_DIR=DIR -P WriteBuildInfo.cmake
set(describe "")
find_program(GIT_PROGRAM git)
if(GIT_PROGRAM AND EXISTS "${SOURCE_DIR}/.git")
  # No --dirty: it refreshes the index, which could collide with a commit made meanwhile.
  execute_process(COMMAND "${GIT_PROGRAM}" describe --tags --always
    WORKING_DIRECTORY "${SOURCE_DIR}" OUTPUT_VARIABLE describe RESULT_VARIABLE result
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT result EQUAL 0)
    set(describe "")
  endif()
  string(REGEX REPLACE "[^A-Za-z0-9._+-]" "" describe "${describe}")
endif()
set(content "// Written at build time by WriteBuildInfo.cmake.\n#define TARNWICK_VERSION \"${VERSION}\"\n#define TARNWICK_GIT_DESCRIBE \"${describe}\"\n")
set(old "")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL content)
  file(WRITE "${OUTPUT}" "${content}")
endif()
