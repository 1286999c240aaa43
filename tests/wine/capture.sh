#!/usr/bin/env bash
# The capture against a real Win32: a machine captured under Wine, rebuilt in
# winsim, and the same uninstallation and installation run on both.
#   capture.sh [win32|win64 ...]     (default: both)
# In each prefix: the default installation, then printers added on the Vormo
# ports (pooled, network) and a registry port section with its AuthText; VormoCheck.exe --capture; winsim
# new --from that capture, with the distribution the prefix has; the rebuilt
# machine's capture must be the same document. Then `Install.exe -u` and
# `Install.exe` on both (exit codes and console bytes alike), a capture of
# each afterwards, and the two compared: equal but for the differences listed
# in wine_differences below, each of which the README names.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

ARCHES=("$@")
[ ${#ARCHES[@]} -gt 0 ] || ARCHES=(win32 win64)
require_wine
[ -x "$HOST_BUILD/winsim" ] || die "no host build in $HOST_BUILD (cmake --preset host && cmake --build build/host)"

# The differences between a Wine prefix and winsim that the comparison
# allows, one sed expression each (README, "Capturing a machine"):
#  1. the monitor's environment: Wine lists every monitor with "Windows NT
#     x86", whatever environment AddMonitorA was given; winsim keeps the one
#     given ("Windows x64" on 64-bit Windows), as Windows does.
WINE_DIFFERENCES=(
  -e 's/^\(      "environment": \)".*"/\1"(either)"/'
)
wine_differences() { sed "${WINE_DIFFERENCES[@]}" "$1"; }

# capture_wine PREFIX FILE / capture_host MACHINE FILE: the capture of each
# machine into FILE (a host path).
capture_wine() {
  local prefix=$1 file=$2
  rm -f "$prefix/drive_c/capture.json"
  WINEPREFIX=$prefix wine 'C:\Dist\VormoCheck.exe' --capture 'C:\capture.json' >"$file.out" 2>&1 || true
  mv "$prefix/drive_c/capture.json" "$file" 2>/dev/null || : >"$file"
}
capture_host() {
  local machine=$1 file=$2
  rm -f "$machine/drive_c/capture.json"
  "$HOST_BUILD/winsim" run "$machine" 'C:\Dist\VormoCheck.exe' --capture 'C:\capture.json' >"$file.out" 2>&1 || true
  mv "$machine/drive_c/capture.json" "$file" 2>/dev/null || : >"$file"
}

check_same_file() {
  local what=$1 expected=$2 actual=$3
  if [ -s "$expected" ] && cmp -s "$expected" "$actual"; then
    pass
  else
    fail "$what (< expected, > actual):"
    diff "$expected" "$actual" | head -20 | sed 's/^/      /'
  fi
}

run_capture() {
  local arch=$1 P O H run
  CURRENT_SCENARIO="capture $arch"
  [ -f "$(template_dir "$arch")/.sealed" ] || make_template "$arch"
  P=$(prepare_prefix "$arch" capture)
  O="$WINE_WORK/out/$arch/capture"
  H="$O/machine"
  rm -rf "$O"
  mkdir -p "$O"
  install_run "$P" "$O/install"
  check_eq "the installation under Wine" 0 "$(cat "$O/install.rc")"
  # Printers on the Vormo ports, one pooled with a local port, one with the
  # network attribute beside the local one, and a network printer (which the
  # disconnection leaves alone) on a local port: on a Vormo port it would
  # keep the monitor in use, which Windows and winsim refuse to remove (3008)
  # and Wine removes. A port section in the registry (32-bit view) with a secret.
  helper "$P" addprinter Pool 'Vormo001,LPT3:' -- addprinter Annex Vormo003 -- \
    addprinter Branch LPT2: 0x10 -- addprinter Remote 'LPT2:,Vormo003' 0x50 -- \
    regset 32 'HKLM\SOFTWARE\Oxlen Corporation\Vormo\PortInstallCfg\1' 'ServerIP=sz:10.9.0.1' 'AuthText=sz:s3cret' \
    >/dev/null
  capture_wine "$P" "$O/before.json"
  check "the capture under Wine" grep -q '"format": 1' "$O/before.json"
  check "AuthText withheld" grep -q '"withheld": 7' "$O/before.json"

  lay_distribution "$O/dist"
  "$HOST_BUILD/winsim" new "$H" --from "$O/before.json" --dist "$O/dist" >"$O/new.out" 2>&1 ||
    fail "winsim new --from the Wine capture: $(cat "$O/new.out")"
  capture_host "$H" "$O/rebuilt.json"
  check_same_file "the rebuilt machine's capture is the Wine capture" "$O/before.json" "$O/rebuilt.json"

  for run in uninstall install; do
    local args=()
    [ "$run" = uninstall ] && args=(-u)
    install_run "$P" "$O/$run" "${args[@]}"
    host_run "$H" "$O/$run.host" "${args[@]}"
    check_eq "$run: exit code under Wine" 0 "$(cat "$O/$run.rc")"
    check_eq "$run: exit code like the host build's" "$(cat "$O/$run.host.rc")" "$(cat "$O/$run.rc")"
    check_console_like_host "$O/$run" "$O/$run.host"
  done
  capture_wine "$P" "$O/after.json"
  capture_host "$H" "$O/after.host.json"
  wine_differences "$O/after.json" >"$O/after.compared.json"
  wine_differences "$O/after.host.json" >"$O/after.host.compared.json"
  check_same_file "the captures afterwards, but for the listed differences" "$O/after.compared.json" \
    "$O/after.host.compared.json"
  # What the listed differences took away, for the log.
  diff "$O/after.json" "$O/after.host.json" | grep '^[<>]' | sed "s/^/    $arch, allowed: /" || true
}

for arch in "${ARCHES[@]}"; do run_capture "$arch"; done
echo "Capture under Wine (${ARCHES[*]}): $CHECKS_PASSED checks passed, $CHECKS_FAILED failed"
[ "$CHECKS_FAILED" = 0 ]
