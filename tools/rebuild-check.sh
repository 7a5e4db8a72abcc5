#!/usr/bin/env bash
# Builds a program again from a copy of the sources in a scratch folder and fails unless the two
# are the same byte for byte: the program must not depend on where or when it was built.
#   tools/rebuild-check.sh PROGRAM.exe i686|x86_64 [CMake options of PROGRAM's build...]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
[ $# -ge 2 ] || { echo "usage: $0 PROGRAM.exe i686|x86_64 [-DOPTION=VALUE...]" >&2; exit 2; }
program=$1 arch=$2
shift 2
[ -f "$program" ] || { echo "rebuild-check: $program is missing" >&2; exit 2; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tolva2-rebuild.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/src"
# The worktree's files as they are, uncommitted edits included; nothing git ignores (build/).
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' f; do [ -f "$f" ] && printf '%s\0' "$f"; done |
  tar --null -T - -cf - | tar -xf - -C "$scratch/src"

cmake -S "$scratch/src" -B "$scratch/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$scratch/src/cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build "$scratch/build" -j2 --target tolva2 >/dev/null
if ! cmp "$program" "$scratch/build/tolva2.exe"; then
  echo "rebuild-check: $program differs from the same sources built in another folder" >&2
  exit 1
fi
echo "rebuild-check: $program is reproducible ($(stat -c %s "$program") bytes)"
