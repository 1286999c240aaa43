#!/usr/bin/env bash
# Runs the conformance checks (build/windows/conformance.exe) under Wine in a
# 32-bit and a 64-bit (WOW64) prefix and prints each run's closing count line.
# Fails when a check fails in either prefix. The prefixes' templates are made
# afresh unless WINE_REUSE_TEMPLATES=1 (run_all.sh makes them once per run).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
require_wine
[ -x "$WINDOWS_BUILD/conformance.exe" ] || die "no $WINDOWS_BUILD/conformance.exe"

status=0
for arch in win32 win64; do
  if [ "${WINE_REUSE_TEMPLATES:-0}" != 1 ] || [ ! -f "$(template_dir "$arch")/.sealed" ]; then
    make_template "$arch"
  fi
  prefix=$(new_prefix "$arch" conformance)
  cp "$WINDOWS_BUILD/conformance.exe" "$prefix/drive_c/conformance.exe"
  # Unix symbolic links in C:\conformance-links to a folder and a file outside
  # drive_c; the checks look at them and never delete through them.
  outside="$prefix/outside"
  mkdir -p "$outside/folder" "$prefix/drive_c/conformance-links"
  echo inside >"$outside/folder/inside.txt"
  echo file >"$outside/file.txt"
  ln -s "$outside/folder" "$prefix/drive_c/conformance-links/folder"
  ln -s "$outside/file.txt" "$prefix/drive_c/conformance-links/file"
  out="$prefix/conformance.out"
  set +e
  wine_run "$prefix" 'C:\conformance.exe' >"$out" 2>"$out.stderr"
  rc=$?
  set -e
  wine_stop "$prefix"
  if [ ! -f "$outside/folder/inside.txt" ] || [ ! -f "$outside/file.txt" ]; then
    echo "$arch: a link's target outside drive_c was deleted"
    status=1
  fi
  tr -d '\r' <"$out" | grep -v '^ok ' | sed "s/^/$arch: /" | grep -v ' passed, ' || true
  last=$(tr -d '\r' <"$out" | tail -n 1)
  echo "conformance under Wine ($arch): $last"
  case "$last" in
    *" passed, 0 failed") [ "$rc" = 0 ] || status=1 ;;
    *) status=1 ;;
  esac
done
exit $status
