# The program's version comes from version/version.h, where the update check compares it; the
# version resource and the release's file names follow it. `cmake -P cmake/version.cmake` prints it.
file(STRINGS "${CMAKE_CURRENT_LIST_DIR}/../version/version.h" TOLVA_VERSION_LINE
     REGEX "^#define TOLVA_VERSION \"[0-9]+\\.[0-9]+\"$")
if(NOT TOLVA_VERSION_LINE MATCHES "\"(([0-9]+)\\.([0-9]+))\"")
  message(FATAL_ERROR "no version of the form \"major.minor\" in version/version.h")
endif()
set(TOLVA_VERSION "${CMAKE_MATCH_1}")
set(TOLVA_VERSION_MAJOR "${CMAKE_MATCH_2}")
set(TOLVA_VERSION_MINOR "${CMAKE_MATCH_3}")
if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${TOLVA_VERSION}")
endif()
