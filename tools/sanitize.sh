#!/usr/bin/env bash
# Builds the native unit tests with AddressSanitizer and UBSan (build/asan) and runs them.
# gcc, as build/native: the tests compare code page 936 texts, which clang cannot encode.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

build=${TOLVA_ASAN_BUILD:-build/asan}
CC=gcc CXX=g++ cmake -S . -B "$build" -G Ninja --no-warn-unused-cli -DCMAKE_BUILD_TYPE=Debug -DTOLVA_SANITIZE=ON \
  -DTOLVA_WINE_TESTS=OFF >/dev/null
cmake --build "$build" --target unit_tests >/dev/null
export ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
