#!/usr/bin/env bash
# Static analysis of the project's own code; exits non-zero on any finding.
# - clang-tidy (checks in .clang-tidy) over the pure logic: the PURE_SOURCES files (as the native
#   configuration in build/analysis lists them in pure-sources.txt), through its compile commands,
#   and every project header the native unit tests include.
# - cppcheck over the program's folders as the 64-bit Windows program sees them, and over the
#   pure sources as the native tests and fuzzers see them. Suppressions, each with its reason:
#   tools/cppcheck-suppressions.txt.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

build=${TOLVA_ANALYSIS_BUILD:-build/analysis}
folders=(app ui controls desktop update state services version win)

# The headers the native unit tests include are pure by construction; this reaches the header-only
# ones (geometry, event index, tray text bounds ...) that no source of PURE_SOURCES includes.
folder_pattern=$(IFS='|'; echo "${folders[*]}")
mapfile -t pure_headers < <(grep -hoE "^#include \"($folder_pattern)/[^\"]+\\.h\"" tests/unit/*.cpp |
  sed 's/^#include "\(.*\)"$/\1/' | sort -u)

failed=0

# The compile commands carry -fexec-charset=GBK for gcc; clang only encodes UTF-8, and the
# literals' encoding does not change what the checks see.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
mapfile -t pure_sources < "$build/pure-sources.txt"
[ ${#pure_sources[@]} -gt 0 ] || { echo "static-analysis: no PURE_SOURCES in $build/pure-sources.txt" >&2; exit 1; }
echo "clang-tidy: ${#pure_sources[@]} pure sources, ${#pure_headers[@]} pure headers"
tidy() { clang-tidy --quiet "$@" 2> >(grep -v 'warnings generated' >&2); }
tidy -p "$build" --extra-arg=-fexec-charset=UTF-8 "${pure_sources[@]}" || failed=1
tidy --extra-arg-before=-xc++ "${pure_headers[@]}" -- -std=c++17 -I. || failed=1

cppcheck_common=(--std=c++17 --language=c++ --enable=warning,style,performance,portability,information
  --inline-suppr --suppressions-list=tools/cppcheck-suppressions.txt --error-exitcode=1 --quiet -I .
  "--template={file}:{line}: {severity}: {message} [{id}]")
echo "cppcheck: Windows program (win64): ${folders[*]}"
cppcheck "${cppcheck_common[@]}" --platform=win64 --library=windows "${folders[@]}" || failed=1
echo "cppcheck: native pure sources (unix64)"
# Suppressions meant for the Win32 files match nothing here, which is no finding.
cppcheck "${cppcheck_common[@]}" --platform=unix64 --suppress=unmatchedSuppression "${pure_sources[@]}" ||
  failed=1

if [ "$failed" -ne 0 ]; then
  echo "static-analysis: findings above" >&2
  exit 1
fi
echo "static-analysis: clean"
