#!/usr/bin/env bash
# Checks the include layering, installs what is missing, builds both programs and runs every test:
# a rebuild of the i686 program in a scratch folder, which must give the same bytes; a signed
# release into a scratch folder, checked as a user and a package manager would take it; static
# analysis; the unit tests
# under AddressSanitizer/UBSan; a short pass of every fuzzer; then (under CTest) the native unit
# tests and every Wine integration module against both programs: the i686 one under 32-bit Wine
# (wine32.*), the x86_64 one under 64-bit Wine (wine64.*). Where the kernel cannot run 32-bit
# programs the wine32 modules cannot run: one line says so and the rest runs.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# Folders include downward only and no modules include each other.
python3 tools/check-layers.py
tools/bootstrap.sh
tools/build.sh
# The same sources must give the same program in any folder: build the i686 one again elsewhere,
# with the options build/win32 was configured with, and compare.
tools/rebuild-check.sh build/win32
# A signed release with a throw-away certificate: signatures, zips, manifests, and the signed
# programs under Wine.
python3 tools/release-check.py
tools/static-analysis.sh
tools/sanitize.sh
tools/fuzz.sh "${TOLVA_FUZZ_SECONDS:-3}"

. tools/wine-env.sh
tools/wine-prefix.sh build/wine-template

skip=()
if ! why=$(tools/can-run-i386.sh); then
  echo "test: the i686 program's Wine modules (wine32.*) did not run: $why"
  skip=(-LE wine32)
fi
# Every Wine test's first run goes to one results file of this run; its summary line comes last,
# green or not, so a first-run failure that a second run hid is never out of sight.
export TOLVA_WINE_RESULTS="$PWD/build/native/wine-results/test-$(date +%Y%m%d-%H%M%S).jsonl"
# Four at a time on two cores: every Wine test has a prefix and every module a display of its own,
# and the modules spend most of their time waiting (for the program's one-second ticks, its
# ten-second update pause, their own watch periods).
rc=0
ctest --test-dir build/native --output-on-failure -j4 "${skip[@]}" "$@" || rc=$?
python3 tools/wine_results.py summary "$TOLVA_WINE_RESULTS"
exit "$rc"
