#!/usr/bin/env bash
# Runs every fuzz target of build/fuzz for SECONDS each (default 20).
#
# Each target first replays its corpus in tests/fuzz/corpus/TARGET (the seeds
# and the inputs of every crash found and fixed), then fuzzes. Inputs that
# reach new code go to build/fuzz/work/TARGET (kept between runs), a crashing
# input to build/fuzz/crashes/TARGET/. Replay one with
#   build/fuzz/TARGET FILE            (FUZZ_SHOW=1 prints the console text)
# Exit status 1 when a target crashed.
set -uo pipefail
seconds=${1:-20}
cd "$(dirname "$0")/.."
root=$PWD
status=0
found=0
for target in build/fuzz/fuzz_*; do
  [ -x "$target" ] && [ -f "$target" ] || continue
  found=1
  name=$(basename "$target")
  work=build/fuzz/work/$name
  crashes=build/fuzz/crashes/$name
  log=build/fuzz/$name.log
  mkdir -p "$work" "$crashes"
  start=$(date +%s)
  "$root/$target" "$root/$work" "$root/tests/fuzz/corpus/$name" -max_total_time="$seconds" -timeout=60 \
    -rss_limit_mb=4096 -artifact_prefix="$root/$crashes/" -print_final_stats=1 >"$log" 2>&1
  rc=$?
  elapsed=$(($(date +%s) - start))
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  if [ $rc -eq 0 ]; then
    echo "fuzz: $name: ${runs:-?} inputs in ${elapsed} s, no crash"
  else
    echo "fuzz: $name FAILED after ${elapsed} s (exit $rc); log: $log, input: $crashes/"
    grep -E 'fuzz check failed|ERROR: AddressSanitizer|runtime error|SUMMARY|Test unit written' -A3 "$log" | head -40
    status=1
  fi
done
if [ $found -eq 0 ]; then
  echo "fuzz: no targets in build/fuzz (cmake --preset fuzz && cmake --build build/fuzz)" >&2
  exit 1
fi
exit $status
