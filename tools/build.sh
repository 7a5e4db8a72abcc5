#!/usr/bin/env bash
# Builds both programs (build/win32, build/win64 with the test driver, and their update-test
# variants build/win32-update, build/win64-update) and the native unit tests (build/native).
# Extra arguments go to build/win32 and build/win64, e.g. -DTOLVA_SIZE_GOAL=0.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

configure() {  # dir, extra args...
  local dir=$1; shift
  [ -f "$dir/build.ninja" ] || cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake -S . -B "$dir" "$@" >/dev/null
}

# Both programs run under Wine on this machine, which reaches no network: their update server and
# site are the discard port on loopback (refused at once), never the placeholder names, which
# would make the worker ask DNS. The update tests use variants whose server is a local HTTP
# server of theirs. tools/release.sh builds the programs users get, in folders of its own.
loopback=(-DTOLVA_UPDATE_HOST=127.0.0.1:9 -DTOLVA_HOME_HOST=127.0.0.1:9)
update_test=(-DTOLVA_UPDATE_HOST=127.0.0.1:18091 -DTOLVA_HOME_HOST=127.0.0.1:18092)
for target in i686:win32 x86_64:win64; do
  arch=${target%:*} dir=build/${target#*:}
  configure "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release "${loopback[@]}" "$@"
  configure "$dir-update" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release \
    "${update_test[@]}"
done
configure build/native -DCMAKE_BUILD_TYPE=Debug -DTOLVA_WINE_TESTS=ON

cmake --build build/win32
cmake --build build/win64
cmake --build build/win32-update --target tolva2
cmake --build build/win64-update --target tolva2
cmake --build build/native
echo "build: $(stat -c '%n %s bytes' build/win32/tolva2.exe build/win64/tolva2.exe | paste -sd ';')"
