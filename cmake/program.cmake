# The Windows program, cross-compiled with MinGW-w64 (i686 or x86_64 by toolchain file).
enable_language(RC)

option(TOLVA_UPDATE "Build the update worker (off: no update thread, no WinInet, no server in the program)" ON)
set(TOLVA_UPDATE_HOST "update.tolva2.invalid" CACHE STRING
  "Host (with optional :port) of the update server, reached over HTTP; https://host[:port] for HTTPS")
set(TOLVA_HOME_HOST "www.tolva2.invalid" CACHE STRING
  "Host (with optional :port) of the maker's site, opened as http://; https://host[:port] for HTTPS")
set(TOLVA_SIZE_GOAL 117760 CACHE STRING "Largest accepted program file in bytes (0: not checked)")

set(WIN_SOURCES
  app/main.cpp
  services/log.cpp
  win/dialog.cpp
  win/text.cpp
  win/dpi.cpp
  ui/main_dlg.cpp
  ui/desk_window.cpp
  services/tray.cpp
  desktop/events.cpp
  desktop/switching.cpp
  desktop/make_desk.cpp
  desktop/shell_launch.cpp
  state/registry_store.cpp
  ui/newdesk_dlg.cpp
  ui/running_dlg.cpp
  controls/icon_button.cpp
)

set(TOLVA_PROGRAM_SOURCES ${PURE_SOURCES} ${WIN_SOURCES})
if(TOLVA_UPDATE)
  list(APPEND TOLVA_PROGRAM_SOURCES update/update_worker.cpp)
  set(TOLVA_UPDATE_DEFINITIONS TOLVA_UPDATE_HOST="${TOLVA_UPDATE_HOST}" TOLVA_HOME_HOST="${TOLVA_HOME_HOST}")
else()
  # The worker is not built and the one place that starts it is compiled out; no host goes in.
  list(FILTER TOLVA_PROGRAM_SOURCES EXCLUDE REGEX "^update/.*\\.cpp$")
  set(TOLVA_UPDATE_DEFINITIONS TOLVA_NO_UPDATE)
endif()

# No thread-safe guards for static locals: they would bring in the C++ runtime library. Each
# static local that is initialised at run time says beside it why it needs none. No
# -fdata-sections: for PE targets GCC then puts zero-initialised buffers into .data$name, stored
# in the file as zeros.
set(TOLVA_SIZE_FLAGS -Os -ffunction-sections -fno-threadsafe-statics)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # i686 unwind tables (.eh_frame) serve only C++ exceptions, which the program does not use; the
  # x86_64 tables (.pdata/.xdata) are the system's own and stay.
  list(APPEND TOLVA_SIZE_FLAGS -fno-asynchronous-unwind-tables)
endif()
set(TOLVA_LINK_FLAGS -static -static-libgcc -static-libstdc++ -s -Wl,--gc-sections -municode -mwindows
  # Both programs declare Windows 7 (6.1), so the system gives them the same window metrics.
  -Wl,--subsystem,windows:6.1 -Wl,--major-os-version,6 -Wl,--minor-os-version,1
  # Terminal Server aware: no per-user compatibility copies of the Windows folder on a server.
  -Wl,--tsaware)

add_executable(tolva2 WIN32 ${TOLVA_PROGRAM_SOURCES} res/tolva2.rc)
target_include_directories(tolva2 PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(tolva2 PRIVATE
  UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601 ${TOLVA_UPDATE_DEFINITIONS})
target_compile_options(tolva2 PRIVATE
  $<$<COMPILE_LANGUAGE:CXX>:${TOLVA_WARNINGS} ${TOLVA_SIZE_FLAGS} ${TOLVA_NARROW_CHARSET} -fno-exceptions -fno-rtti>)
target_link_options(tolva2 PRIVATE ${TOLVA_LINK_FLAGS} -Wl,-Map=$<TARGET_FILE:tolva2>.map)
target_link_libraries(tolva2 PRIVATE comctl32 shell32 ole32 advapi32 gdi32 user32 kernel32)
# The version resource and the manifest take the program's version from version/version.h; the
# manifest is written into the build folder, where the .rc files find it.
include(cmake/version.cmake)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/version/version.h)
configure_file(res/tolva2.manifest.in ${CMAKE_BINARY_DIR}/tolva2.manifest @ONLY)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I ${CMAKE_BINARY_DIR}")
set_source_files_properties(res/tolva2.rc PROPERTIES COMPILE_FLAGS "-c 65001"
  # windres writes no dependency file: name what the .rc pulls in.
  OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/res/default.ico;${CMAKE_SOURCE_DIR}/res/newdesk.ico;${CMAKE_SOURCE_DIR}/res/exit.ico;${CMAKE_SOURCE_DIR}/res/switch.ico;${CMAKE_BINARY_DIR}/tolva2.manifest;${CMAKE_SOURCE_DIR}/ui/ids.h")
set_property(SOURCE res/tolva2.rc APPEND PROPERTY COMPILE_DEFINITIONS
  TOLVA_VERSION_MAJOR=${TOLVA_VERSION_MAJOR} TOLVA_VERSION_MINOR=${TOLVA_VERSION_MINOR})

# What shapes the program besides the sources, for a rebuild elsewhere (tools/rebuild-check.sh):
# the processor on the first line, then one CMake option a line.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/rebuild-options.txt @ONLY CONTENT "${CMAKE_SYSTEM_PROCESSOR}
-DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
-DTOLVA_UPDATE=${TOLVA_UPDATE}
-DTOLVA_UPDATE_HOST=${TOLVA_UPDATE_HOST}
-DTOLVA_HOME_HOST=${TOLVA_HOME_HOST}
-DTOLVA_SIZE_GOAL=${TOLVA_SIZE_GOAL}
")

# One commit gives the same bytes in any folder at any time: no link time stamp (the PE checksum
# then stays the same too) and no build path in the program.
target_link_options(tolva2 PRIVATE -Wl,--no-insert-timestamp)
target_compile_options(tolva2 PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=>)

# The program refuses to start when its own file is outside 1 KiB .. 1 MiB: fail the build first,
# and when it outgrows its size goal or the link map shows the C++ runtime or MinGW's printf.
add_custom_command(TARGET tolva2 POST_BUILD
  COMMAND ${CMAKE_COMMAND} -DMAP=$<TARGET_FILE:tolva2>.map -P ${CMAKE_SOURCE_DIR}/cmake/check_map.cmake
  COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:tolva2> -DGOAL=${TOLVA_SIZE_GOAL}
          -P ${CMAKE_SOURCE_DIR}/cmake/check_size.cmake
  VERBATIM)

# The test driver used by the integration tests, which run the x86_64 program under 64-bit Wine.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
add_executable(tolva_driver tests/wine/driver.cpp tests/wine/driver_measure.cpp)
target_include_directories(tolva_driver PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(tolva_driver PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
target_compile_options(tolva_driver PRIVATE ${TOLVA_WARNINGS} -Os)
target_link_options(tolva_driver PRIVATE -static -static-libgcc -static-libstdc++ -s -municode)
target_link_libraries(tolva_driver PRIVATE gdi32 user32 psapi advapi32 kernel32)

# An empty dialog built as the program is built: the benchmark's floor for the working set.
add_executable(empty_dialog WIN32 tests/wine/empty_dialog.cpp tests/wine/empty_dialog.rc)
target_compile_definitions(empty_dialog PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
target_compile_options(empty_dialog PRIVATE
  $<$<COMPILE_LANGUAGE:CXX>:${TOLVA_WARNINGS} ${TOLVA_SIZE_FLAGS} -fno-exceptions -fno-rtti>)
target_link_options(empty_dialog PRIVATE ${TOLVA_LINK_FLAGS})
target_link_libraries(empty_dialog PRIVATE user32 kernel32)
set_source_files_properties(tests/wine/empty_dialog.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_BINARY_DIR}/tolva2.manifest")
endif()
