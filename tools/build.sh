#!/usr/bin/env bash
# Builds both programs (build/win32, build/win64 with the test driver, and their update-test
# variants build/win32-update, build/win64-update, build/win32-update-https,
# build/win64-update-https) and the native unit tests (build/native).
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
# server of theirs, on ports of each program's own (tests/wine/harness.py knows them), so the two
# programs' update tests can run side by side; the -https variants name the same ports as https://
# addresses. tools/release.sh builds the programs users get, in folders of their own.
loopback=(-DTOLVA_UPDATE_HOST=127.0.0.1:9 -DTOLVA_HOME_HOST=127.0.0.1:9)
for target in i686:win32:18093 x86_64:win64:18091; do
  IFS=: read -r arch dir port <<<"$target"
  configure "build/$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release \
    "${loopback[@]}" "$@"
  configure "build/$dir-update" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DTOLVA_UPDATE_HOST="127.0.0.1:$port" -DTOLVA_HOME_HOST="127.0.0.1:$((port + 1))"
  configure "build/$dir-update-https" -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DTOLVA_UPDATE_HOST="https://127.0.0.1:$port" -DTOLVA_HOME_HOST="https://127.0.0.1:$((port + 1))"
done
configure build/native -DCMAKE_BUILD_TYPE=Debug -DTOLVA_WINE_TESTS=ON

cmake --build build/win32
cmake --build build/win64
cmake --build build/win32-update --target tolva2
cmake --build build/win64-update --target tolva2
cmake --build build/win32-update-https --target tolva2
cmake --build build/win64-update-https --target tolva2
cmake --build build/native
echo "build: $(stat -c '%n %s bytes' build/win32/tolva2.exe build/win64/tolva2.exe | paste -sd ';')"
