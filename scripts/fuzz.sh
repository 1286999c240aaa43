#!/usr/bin/env bash
# Runs every fuzz target of build/fuzz for SECONDS each (default 20), JOBS
# targets at a time (default 2: one per core of the machines this runs on).
#
# Each target first replays its corpus in tests/fuzz/corpus/TARGET (the seeds
# and the inputs of every crash found and fixed), then fuzzes. Inputs that
# reach new code go to build/fuzz/work/TARGET (kept between runs), a crashing
# input to build/fuzz/crashes/TARGET/. Replay one with
#   build/fuzz/TARGET FILE            (FUZZ_SHOW=1 prints the console text)
# Exit status 1 when a target crashed.
set -uo pipefail
seconds=${1:-20}
jobs=${2:-2}
cd "$(dirname "$0")/.."
root=$PWD

# Fuzzes one target; its summary goes to build/fuzz/TARGET.result, its exit
# status to build/fuzz/TARGET.status.
fuzz_one() {
  local target=$1 name work crashes log start rc elapsed runs
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
    echo "fuzz: $name: ${runs:-?} inputs in ${elapsed} s, no crash" >"build/fuzz/$name.result"
  else
    { echo "fuzz: $name FAILED after ${elapsed} s (exit $rc); log: $log, input: $crashes/"
      grep -E 'fuzz check failed|ERROR: AddressSanitizer|runtime error|SUMMARY|Test unit written' -A3 "$log" | head -40
    } >"build/fuzz/$name.result"
  fi
  echo $rc >"build/fuzz/$name.status"
}

targets=()
for target in build/fuzz/fuzz_*; do
  [ -x "$target" ] && [ -f "$target" ] && targets+=("$target")
done
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no targets in build/fuzz (cmake --preset fuzz && cmake --build build/fuzz)" >&2
  exit 1
fi

running=0
for target in "${targets[@]}"; do
  if [ $running -ge "$jobs" ]; then
    wait -n
    running=$((running - 1))
  fi
  fuzz_one "$target" &
  running=$((running + 1))
done
wait

status=0
for target in "${targets[@]}"; do
  name=$(basename "$target")
  cat "build/fuzz/$name.result"
  [ "$(cat "build/fuzz/$name.status")" = 0 ] || status=1
done
exit $status
