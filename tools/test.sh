#!/usr/bin/env bash
# Installs what is missing, builds both programs and runs every test: a rebuild of the i686
# program in a scratch folder, which must give the same bytes; static analysis; the unit tests
# under AddressSanitizer/UBSan; a short pass of every fuzzer; then (under CTest) the native unit
# tests and the integration tests of the x86_64 program under Wine on a virtual display.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

tools/bootstrap.sh
tools/build.sh
# The same sources must give the same program in any folder: build the i686 one again elsewhere,
# for the servers build/win32 was configured with, and compare.
mapfile -t hosts < <(sed -n 's/^\(TOLVA_[A-Z]*_HOST\):[A-Z]*=\(.*\)$/-D\1=\2/p' build/win32/CMakeCache.txt)
tools/rebuild-check.sh build/win32/tolva2.exe i686 "${hosts[@]}"
tools/static-analysis.sh
tools/sanitize.sh
tools/fuzz.sh "${TOLVA_FUZZ_SECONDS:-3}"

. tools/wine-env.sh
. tools/xvfb.sh
trap '[ -n "${TOLVA_XVFB_PID:-}" ] && kill "$TOLVA_XVFB_PID" 2>/dev/null || true' EXIT
tools/wine-prefix.sh build/wine-template

ctest --test-dir build/native --output-on-failure -j2 "$@"
