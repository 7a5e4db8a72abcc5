# Native build of the pure logic: unit tests (GoogleTest under CTest).
enable_testing()
find_package(GTest REQUIRED)

option(TOLVA_SANITIZE "Build the unit tests with AddressSanitizer and UBSan" OFF)

add_library(tolva_pure STATIC ${PURE_SOURCES})
target_include_directories(tolva_pure PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(tolva_pure PUBLIC ${TOLVA_WARNINGS})
target_compile_options(tolva_pure PRIVATE ${TOLVA_NARROW_CHARSET})
if(TOLVA_SANITIZE)
  target_compile_options(tolva_pure PUBLIC -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(tolva_pure PUBLIC -fsanitize=address,undefined)
endif()

file(GLOB UNIT_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*_test.cpp)
add_executable(unit_tests ${UNIT_TEST_SOURCES})
target_compile_options(unit_tests PRIVATE ${TOLVA_NARROW_CHARSET})
target_link_libraries(unit_tests PRIVATE tolva_pure GTest::gtest_main)
include(GoogleTest)
gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 30)

option(TOLVA_FUZZ "Build the libFuzzer targets of the pure logic (clang)" OFF)
include(cmake/fuzz.cmake)

# ---------------------------------------------------------------------------------------------
# Integration tests under Wine: each tests/wine/test_<name>.py runs against both programs, as the
# CTest tests "wine32.test_<name>" (the i686 program under 32-bit Wine in the WOW64 template
# prefix; label wine32) and "wine64.test_<name>" (the x86_64 program; label wine64). They need
# Wine, Xvfb and the builds of tools/build.sh; the x86_64 build's tolva_driver drives both.
option(TOLVA_WINE_TESTS "Register the integration tests that run the programs under Wine" OFF)
if(TOLVA_WINE_TESTS)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(TOLVA_WIN32_DIR "${CMAKE_SOURCE_DIR}/build/win32" CACHE PATH "Build directory of the i686 program")
  set(TOLVA_WIN64_DIR "${CMAKE_SOURCE_DIR}/build/win64" CACHE PATH
      "Build directory of the x86_64 program and tolva_driver")
  set(TOLVA_WINE_TEMPLATE "${CMAKE_SOURCE_DIR}/build/wine-template" CACHE PATH
      "Template Wine prefix that each Wine test copies")

  # Booting the template takes a while: do it once, before the modules, not inside one's timeout.
  add_test(NAME wine.template COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-prefix.sh ${TOLVA_WINE_TEMPLATE})
  set_tests_properties(wine.template PROPERTIES FIXTURES_SETUP wine_template TIMEOUT 300)

  # Seconds a module takes beside others (measured, either program): CTest starts the long ones
  # first, so the short ones fill the slots to the end.
  set(TOLVA_WINE_COST_test_update 300 TOLVA_WINE_COST_test_events 230 TOLVA_WINE_COST_test_desktop 110
      TOLVA_WINE_COST_test_state 80 TOLVA_WINE_COST_test_startup 75 TOLVA_WINE_COST_test_icon_button 70)
  file(GLOB TOLVA_WINE_MODULES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/test_*.py)
  foreach(arch IN ITEMS i686 x86_64)
    if(arch STREQUAL "i686")
      set(kind wine32)
      set(program_dir ${TOLVA_WIN32_DIR})
      set(arch_env TOLVA_WIN32_DIR=${TOLVA_WIN32_DIR} TOLVA_WIN32_UPDATE_DIR=${TOLVA_WIN32_DIR}-update)
    else()
      set(kind wine64)
      set(arch_env TOLVA_WIN64_UPDATE_DIR=${TOLVA_WIN64_DIR}-update)
    endif()
    foreach(module_file IN LISTS TOLVA_WINE_MODULES)
      get_filename_component(module ${module_file} NAME_WE)
      # The update tests' server listens on a fixed loopback port of each program: the module
      # locks it (a lock file in /tmp), and the x86_64 one also takes the lock that checkouts
      # older than the port of the i686 program's take around it.
      set(lock)
      if(module STREQUAL "test_update" AND arch STREQUAL "x86_64")
        set(lock flock /tmp/tolva-update-ports.lock)
      endif()
      # Every test has its own prefix, and with DISPLAY unset every module its own Xvfb (the
      # pointer and focus are per display), so modules can run in parallel without a lock.
      add_test(NAME ${kind}.${module}
        COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY TOLVA_ARCH=${arch} ${arch_env}
                TOLVA_WIN64_DIR=${TOLVA_WIN64_DIR} TOLVA_WINE_TEMPLATE=${TOLVA_WINE_TEMPLATE}
                TOLVA_NATIVE_DIR=${CMAKE_BINARY_DIR}
                ${lock} ${Python3_EXECUTABLE} tests/wine/run.py ${module}
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
      # Modules start and end the program many times; under a parallel neighbour on two cores a
      # module takes up to twice its time alone.
      set_tests_properties(${kind}.${module} PROPERTIES TIMEOUT 900 FIXTURES_REQUIRED wine_template
                           LABELS ${kind})
      if(DEFINED TOLVA_WINE_COST_${module})
        set_tests_properties(${kind}.${module} PROPERTIES COST ${TOLVA_WINE_COST_${module}})
      endif()
    endforeach()
  endforeach()
  # The watchdog's 501 silent ticks take over eight minutes: the x86_64 program's run has an entry
  # of its own, started first (the highest cost), so its waiting overlaps the other modules.
  add_test(NAME wine64.watchdog
    COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY TOLVA_ARCH=x86_64 TOLVA_WINE_SLOW=1
            TOLVA_WIN64_UPDATE_DIR=${TOLVA_WIN64_DIR}-update TOLVA_WIN64_DIR=${TOLVA_WIN64_DIR}
            TOLVA_WINE_TEMPLATE=${TOLVA_WINE_TEMPLATE} TOLVA_NATIVE_DIR=${CMAKE_BINARY_DIR}
            ${Python3_EXECUTABLE} tests/wine/run.py test_desktop test_hung_second_copy_is_ended_and_replaced_after_501_ticks_slow
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
  set_tests_properties(wine64.watchdog PROPERTIES TIMEOUT 900 FIXTURES_REQUIRED wine_template LABELS wine64
                       COST 1000)
endif()

# The record codec as a command-line tool: the Wine tests decode and craft registry values with it.
add_executable(record_tool tests/tools/record_tool.cpp)
target_compile_options(record_tool PRIVATE ${TOLVA_NARROW_CHARSET})
target_link_libraries(record_tool PRIVATE tolva_pure)
