#!/usr/bin/env bash
# Flakiness as a figure: tools/flake.sh N [CTEST ARGS...] runs the Wine modules N times with no
# second runs at all (TOLVA_WINE_RETRY=0) and prints each test's failure count with the failures'
# signatures. By default the x86_64 program's modules (-L wine64); e.g. `-R wine64.test_events`
# for one module, `-L wine32` for the i686 program. Builds nothing: run tools/build.sh first.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
[ $# -ge 1 ] && [ "$1" -ge 1 ] 2>/dev/null || { echo "usage: tools/flake.sh N [ctest args...]" >&2; exit 2; }
n=$1; shift
[ $# -gt 0 ] || set -- -L wine64
. tools/wine-env.sh
tools/wine-prefix.sh build/wine-template
dir=build/native/wine-results/flake-$(date +%Y%m%d-%H%M%S)
mkdir -p "$dir"
for i in $(seq "$n"); do
  echo "flake: run $i of $n"
  # Failed modules are the point here: go on to the next run.
  TOLVA_WINE_RETRY=0 TOLVA_WINE_RESULTS="$PWD/$dir/run-$i.jsonl" \
    ctest --test-dir build/native -j4 "$@" | grep -E '^ *[0-9]+/[0-9]+ Test|tests passed|Total Test' || true
done
python3 tools/wine_results.py counts "$dir"/run-*.jsonl
