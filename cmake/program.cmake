# The Windows program, cross-compiled with MinGW-w64 (i686 or x86_64 by toolchain file).
enable_language(RC)

set(TOLVA_UPDATE_HOST "update.tolva2.invalid" CACHE STRING "Host (with optional :port) of the update server")
set(TOLVA_HOME_HOST "www.tolva2.invalid" CACHE STRING "Host (with optional :port) of the maker's site")

set(WIN_SOURCES
  app/main.cpp
  app/app.cpp
  app/log.cpp
  win/dialog.cpp
  win/control.cpp
  win/text.cpp
  ui/main_dlg.cpp
  ui/tray.cpp
  desktop/events.cpp
  desktop/switching.cpp
  desktop/make_desk.cpp
  desktop/listener.cpp
  state/registry_store.cpp
  state/own_file.cpp
  update/http_fetch.cpp
  update/update_worker.cpp
  ui/newdesk_dlg.cpp
  ui/running_dlg.cpp
  controls/icon_button.cpp
)

set(TOLVA_WARNINGS -Wall -Wextra -Werror)
set(TOLVA_SIZE_FLAGS -Os -ffunction-sections -fdata-sections)
set(TOLVA_LINK_FLAGS -static -static-libgcc -static-libstdc++ -s -Wl,--gc-sections -municode -mwindows)

add_executable(tolva2 WIN32 ${PURE_SOURCES} ${WIN_SOURCES} res/tolva2.rc)
target_include_directories(tolva2 PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(tolva2 PRIVATE
  UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601
  TOLVA_UPDATE_HOST="${TOLVA_UPDATE_HOST}" TOLVA_HOME_HOST="${TOLVA_HOME_HOST}")
target_compile_options(tolva2 PRIVATE
  $<$<COMPILE_LANGUAGE:CXX>:${TOLVA_WARNINGS} ${TOLVA_SIZE_FLAGS} ${TOLVA_NARROW_CHARSET} -fno-exceptions -fno-rtti>)
target_link_options(tolva2 PRIVATE ${TOLVA_LINK_FLAGS})
target_link_libraries(tolva2 PRIVATE comctl32 shell32 advapi32 wininet gdi32 user32 kernel32)
set_source_files_properties(res/tolva2.rc PROPERTIES COMPILE_FLAGS "-c 65001"
  # windres writes no dependency file: name what the .rc pulls in.
  OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/res/default.ico;${CMAKE_SOURCE_DIR}/res/newdesk.ico;${CMAKE_SOURCE_DIR}/res/exit.ico;${CMAKE_SOURCE_DIR}/res/switch.ico;${CMAKE_SOURCE_DIR}/res/tolva2.manifest;${CMAKE_SOURCE_DIR}/ui/ids.h")

# The program refuses to start when its own file is outside 1 KiB .. 1 MiB: fail the build first.
add_custom_command(TARGET tolva2 POST_BUILD
  COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:tolva2> -P ${CMAKE_SOURCE_DIR}/cmake/check_size.cmake
  VERBATIM)

# The test driver used by the integration tests, which run the x86_64 program under 64-bit Wine.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
add_executable(tolva_driver tests/wine/driver.cpp tests/wine/driver_measure.cpp win/text.cpp)
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
  OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/res/tolva2.manifest")
endif()
