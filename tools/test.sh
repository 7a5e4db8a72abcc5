#!/usr/bin/env bash
# Installs what is missing, builds both programs and runs every test: static analysis, the unit
# tests under AddressSanitizer/UBSan, a short pass of every fuzzer, then (under CTest) the native
# unit tests and the integration tests of the x86_64 program under Wine on a virtual display.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

tools/bootstrap.sh
tools/build.sh
tools/static-analysis.sh
tools/sanitize.sh
tools/fuzz.sh "${TOLVA_FUZZ_SECONDS:-3}"

. tools/wine-env.sh
. tools/xvfb.sh
trap '[ -n "${TOLVA_XVFB_PID:-}" ] && kill "$TOLVA_XVFB_PID" 2>/dev/null || true' EXIT
tools/wine-prefix.sh build/wine-template

ctest --test-dir build/native --output-on-failure -j2 "$@"
