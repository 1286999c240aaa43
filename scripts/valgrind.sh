#!/usr/bin/env bash
# Runs the scenario suite of a host build (default build/host) with every
# installer run under valgrind's memcheck (through INSTALL_WRAPPER, which
# tests/support honours), and fails when any run reported an error: invalid
# reads or writes, uses of uninitialised values, definitely lost blocks.
# Each run's report goes to build/valgrind/PID.log; valgrind -q writes
# nothing there for a clean run.
# Usage: scripts/valgrind.sh [JOBS] [BUILD_DIR]
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=${1:-2}
build=${2:-build/host}
logs=$PWD/build/valgrind
rm -rf "$logs" && mkdir -p "$logs"
export INSTALL_WRAPPER="valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite --log-file=$logs/%p.log"
ctest --test-dir "$build" -L scenario --output-on-failure -j"$jobs"
rc=$?
runs=$(find "$logs" -name '*.log' | wc -l)
bad=$(find "$logs" -name '*.log' -size +0)
if [ -n "$bad" ]; then
  echo "valgrind: errors reported in $(echo "$bad" | wc -l) of $runs runs:"
  for f in $bad; do echo "== $f"; head -30 "$f"; done
  exit 1
fi
if [ "$runs" -eq 0 ]; then
  echo "valgrind: no installer run went through valgrind" >&2
  exit 1
fi
echo "valgrind: $runs installer runs, no error"
exit $rc
