# libFuzzer targets for the pure logic, configured with -DTOLVA_FUZZ=ON and clang
# (CC=clang CXX=clang++). Build them with the target `fuzzers`; tools/fuzz.sh runs them.
if(NOT TOLVA_FUZZ)
  return()
endif()
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "TOLVA_FUZZ needs clang: configure with CC=clang CXX=clang++")
endif()

# clang cannot encode narrow literals as GBK, so this tree builds its own instrumented copy of the
# pure library without that flag. The unit tests compare GBK texts and stay out of this tree's
# default build; build/native and build/asan run them.
set_target_properties(tolva_pure unit_tests PROPERTIES EXCLUDE_FROM_ALL ON)

set(TOLVA_FUZZ_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all)

add_library(tolva_pure_fuzz STATIC ${PURE_SOURCES})
target_include_directories(tolva_pure_fuzz PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(tolva_pure_fuzz PUBLIC -g -O1 -fno-omit-frame-pointer ${TOLVA_WARNINGS}
                       ${TOLVA_FUZZ_SANITIZERS} PRIVATE -fsanitize=fuzzer-no-link)
# The cipher's bit loops index fixed arrays of at most 64 entries, where a wrapped pointer cannot
# arise; the pointer-overflow check there, traced for coverage, made each block ten times slower.
# AddressSanitizer still bounds every access.
set_source_files_properties(state/cipher.cpp PROPERTIES COMPILE_OPTIONS -fno-sanitize=pointer-overflow)

set(TOLVA_FUZZ_TARGETS update record cipher role log_text settings)
foreach(name IN LISTS TOLVA_FUZZ_TARGETS)
  add_executable(fuzz_${name} ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_${name}.cpp)
  target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer ${TOLVA_FUZZ_SANITIZERS})
  target_link_libraries(fuzz_${name} PRIVATE tolva_pure_fuzz)
  list(APPEND TOLVA_FUZZ_EXECUTABLES fuzz_${name})
endforeach()
add_custom_target(fuzzers DEPENDS ${TOLVA_FUZZ_EXECUTABLES})
