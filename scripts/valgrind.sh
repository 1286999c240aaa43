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
# A scenario runs the installer as another user (a file it may not read):
# its report is written into the same folder.
chmod 1777 "$logs"
export INSTALL_WRAPPER="valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite --log-file=$logs/%p.log"
# The differential test of the pre-flight check runs two programs per case:
# under memcheck a tenth of its cases (PLAN_CASES overrides).
export PLAN_CASES=${PLAN_CASES:-48}
ctest --test-dir "$build" -L scenario --output-on-failure -j"$jobs"
rc=$?
runs=$(find "$logs" -name '*.log' | wc -l)
# valgrind 3.19 does not know openat2 (syscall 437) and says so; winsim then
# opens the folders one at a time. That notice is no error of the program.
notice='unhandled amd64-linux syscall: 437|You may be able to write your own handler|README_MISSING_SYSCALL_OR_IOCTL|Nevertheless we consider this a bug|valgrind.org/support/bug_reports'
bad=$(for f in $(find "$logs" -name '*.log' -size +0); do grep -qvE "$notice" "$f" && echo "$f"; done)
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
