# Native build of the pure logic: unit tests (GoogleTest under CTest).
enable_testing()
find_package(GTest REQUIRED)

option(TOLVA_SANITIZE "Build the unit tests with AddressSanitizer and UBSan" OFF)

add_library(tolva_pure STATIC ${PURE_SOURCES})
target_include_directories(tolva_pure PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(tolva_pure PUBLIC -Wall -Wextra -Werror)
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
