#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build/fuzz) and runs each for SECONDS (default 60),
# starting from the seeds in tests/fuzz/corpus/<target>. New inputs go to build/fuzz/corpus, so
# later runs resume there; a crashing input lands in build/fuzz/artifacts/<target>/.
# Prints each target's executions and outcome; exits non-zero when any target crashed.
#   tools/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

seconds=${1:-60}
build=${TOLVA_FUZZ_BUILD:-build/fuzz}

# target:max_len. The update file fills at most the 10239 bytes of the download buffer; a stored
# record is at most 1024 bytes, one more shows the refusal; the command line and the log text go
# well past their 1023-character bounds.
targets=(update:10239 record:1025 cipher:1100 role:4096 log_text:4096 settings:512)

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DTOLVA_FUZZ=ON >/dev/null
cmake --build "$build" --target fuzzers >/dev/null

failed=0
for entry in "${targets[@]}"; do
  name=${entry%%:*}
  max_len=${entry##*:}
  corpus=$build/corpus/$name
  artifacts=$build/artifacts/$name
  log=$build/logs/$name.log
  mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
  dict=()
  [ -f "tests/fuzz/$name.dict" ] && dict=(-dict="tests/fuzz/$name.dict")

  rc=0
  # -timeout marks a hung input (each one takes milliseconds); it is not a speed goal.
  "$build/fuzz_$name" -max_len="$max_len" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "${dict[@]}" "$corpus" "tests/fuzz/corpus/$name" >"$log" 2>&1 || rc=$?

  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  [ -n "$runs" ] || runs=$(grep -oE '^#[0-9]+' "$log" | tail -1 | tr -d '#')
  if [ "$rc" -eq 0 ]; then
    printf 'fuzz %-9s %10s executions  no crash\n' "$name" "${runs:-0}"
  else
    failed=1
    input=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -1)
    printf 'fuzz %-9s %10s executions  CRASHED (exit %d) input %s, log %s\n' "$name" "${runs:-0}" "$rc" \
      "${input:-none}" "$log"
    grep -E 'rule broken|ERROR: |SUMMARY: |runtime error' "$log" | head -5 | sed 's/^/    /'
  fi
done
exit "$failed"
