#!/usr/bin/env bash
# Builds a program again from a copy of the sources in a scratch folder and fails unless the two
# are the same byte for byte: the program must not depend on where or when it was built. First it
# checks that a signature could be removed from the program again to give the same bytes.
#   tools/rebuild-check.sh BUILD_DIR
# BUILD_DIR holds the program (tolva2.exe) and the options it was configured with, as its CMake
# configuration wrote them (rebuild-options.txt: the processor, then one option a line).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
build=$1 program=$1/tolva2.exe
[ -f "$program" ] && [ -f "$build/rebuild-options.txt" ] ||
  { echo "rebuild-check: $program or $build/rebuild-options.txt is missing" >&2; exit 2; }
mapfile -t options < "$build/rebuild-options.txt"
arch=${options[0]}
options=("${options[@]:1}")

# A signature, once taken off, must give these very bytes back: signing pads the file to 8 bytes
# and removing the signature writes the computed PE CheckSum. Both hold before anything else, so a
# toolchain that breaks them fails here with its cause.
python3 tools/release_files.py pe-check "$program"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tolva2-rebuild.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/src"
# The worktree's files as they are, uncommitted edits included; nothing git ignores (build/).
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' f; do [ -f "$f" ] && printf '%s\0' "$f"; done |
  tar --null -T - -cf - | tar -xf - -C "$scratch/src"

cmake -S "$scratch/src" -B "$scratch/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$scratch/src/cmake/mingw-$arch.cmake" "${options[@]}" >/dev/null
cmake --build "$scratch/build" -j2 --target tolva2 >/dev/null
if ! cmp "$program" "$scratch/build/tolva2.exe"; then
  echo "rebuild-check: $program differs from the same sources built in another folder" >&2
  exit 1
fi
echo "rebuild-check: $program is reproducible ($(stat -c %s "$program") bytes)"
