#!/usr/bin/env bash
# Builds both programs (build/win32, build/win64, with the test driver) and the native unit tests
# (build/native). Extra arguments go to every Windows configuration, e.g. -DTOLVA_UPDATE_HOST=...
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

configure() {  # dir, extra args...
  local dir=$1; shift
  [ -f "$dir/build.ninja" ] || cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake -S . -B "$dir" "$@" >/dev/null
}

configure build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release "$@"
# The x86_64 program runs under Wine on this machine, which reaches no network: its update
# server and site are the discard port on loopback (refused at once). The update tests use a
# variant whose server is a local HTTP server of theirs.
configure build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DTOLVA_UPDATE_HOST=127.0.0.1:9 -DTOLVA_HOME_HOST=127.0.0.1:9 "$@"
configure build/win64-update -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DTOLVA_UPDATE_HOST=127.0.0.1:18091 -DTOLVA_HOME_HOST=127.0.0.1:18092
configure build/native -DCMAKE_BUILD_TYPE=Debug -DTOLVA_WINE_TESTS=ON

cmake --build build/win32
cmake --build build/win64
cmake --build build/win64-update --target tolva2
cmake --build build/native
echo "build: $(stat -c '%n %s bytes' build/win32/tolva2.exe build/win64/tolva2.exe | paste -sd ';')"
