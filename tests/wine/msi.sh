#!/usr/bin/env bash
# Vormo.msi under Wine: msiexec with the command lines of docs/deployment.md,
# on copies of the prefix templates, with the distribution's stand-ins:
#   msi.sh [SCENARIO...]
#   install      64-bit prefix: the default installation, then removal by product code
#   enterprise   32-bit prefix: EDITION=Enterprise and LOGFILE, then removal by package
#                without properties (the remembered edition and log reach Install.exe -u -a)
#   failed       64-bit prefix without the .NET Framework: Install.exe fails, msiexec
#                reports failure, nothing of the package is left
# Builds its own package from the sample distribution (packaging/build-msi.sh).
# Ends with a count line; fails when a check failed.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

ALL_SCENARIOS=(install enterprise failed)
[ $# -gt 0 ] && SELECTED=("$@") || SELECTED=("${ALL_SCENARIOS[@]}")
require_wine

GUIDE="$ROOT/docs/deployment.md"
PRODUCT_CODE='{122757F1-7574-4EA8-B4AB-948376462626}'
# The guide's command lines, run as they stand.
INSTALL='msiexec /i Vormo.msi /qn /l*v C:\Windows\Temp\VormoSetup.log'
INSTALL_ENTERPRISE='msiexec /i Vormo.msi /qn EDITION=Enterprise LOGFILE=C:\Windows\Temp\VormoPort.log /l*v C:\Windows\Temp\VormoSetup.log'
REMOVE_BY_CODE="msiexec /x $PRODUCT_CODE /qn /l*v C:\\Windows\\Temp\\VormoRemove.log"
REMOVE_BY_PACKAGE='msiexec /x Vormo.msi /qn /l*v C:\Windows\Temp\VormoRemove.log'

MONITORS_KEY='HKLM\SYSTEM\CurrentControlSet\Control\Print\Monitors'
ARP_KEY="HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$PRODUCT_CODE"
SAVED_KEY='HKLM\SOFTWARE\Oxlen Corporation\Vormo Port Monitor Setup'
NET_KEY='HKLM\Software\Microsoft\NET Framework Setup\NDP\v2.0.50727'

PACKAGE="$WINE_WORK/msi/Vormo.msi"

# begin NAME ARCH: a prefix in $P with the package in C:\Packages, an output
# folder in $O; $PF is the Program Files folder a 32-bit package installs into.
begin() {
  local name=$1 arch=$2
  [ -f "$(template_dir "$arch")/.sealed" ] || make_template "$arch" >/dev/null
  P=$(new_prefix "$arch" "msi-$name")
  O="$WINE_WORK/out/msi/$name"
  rm -rf "$O"
  mkdir -p "$O" "$P/drive_c/Packages"
  cp "$PACKAGE" "$P/drive_c/Packages/"
  # msiexec's exit code whole (a Unix exit status keeps 8 bits of it).
  printf '@start "" /wait %%*\r\n@echo exit code %%errorlevel%%\r\n' >"$P/drive_c/Packages/run.bat"
  PF="Program Files"
  if [ "$arch" = win64 ]; then
    PF="Program Files (x86)"
    # Wine's spooler loads monitors from SysWOW64 into the 32-bit installer (README.md).
    cp "$WINDOWS_BUILD/standins/VORMOVS64.DLL" "$WINDOWS_BUILD/standins/VORMOE64.DLL" "$P/drive_c/windows/syswow64/"
  fi
  SETUP="$P/drive_c/$PF/Oxlen/Vormo Port Monitor Setup"
}

# msiexec_run OUT COMMAND-LINE: one of the guide's command lines, in C:\Packages;
# msiexec's exit code in OUT.rc.
msiexec_run() {
  local out=$1 line=$2 words
  check "the guide gives: $line" grep -qxF -- "$line" "$GUIDE"
  read -ra words <<<"$line"
  (cd "$P/drive_c/Packages" && WINEPREFIX=$P wine cmd /c 'C:\Packages\run.bat' "${words[@]}" >"$out" 2>"$out.stderr") || true
  tr -d '\r' <"$out" | sed -n 's/^exit code //p' >"$out.rc"
}

has_line() { grep -qxF -- "$2" "$1"; }
same_file() { [ -f "$1" ] && [ -f "$2" ] && cmp -s "$1" "$2"; }
log_has() { tr -d '\r' <"$1" | grep -qxF -- "$2"; }

# The ports of a monitor, one line.
ports_of() { helper "$P" ports | grep -E "\|$1\$" | cut -d'|' -f1 | sort | paste -sd ' ' || true; }

# What the package leaves installed: WORD (monitor), PRODUCT (client product folder).
check_package_installed() {
  local word=$1 product=$2 snap="$O/installed.snapshot"
  check_eq "ports of $word" "${word}001 ${word}002 ${word}003" "$(ports_of "$word")"
  # The package's folder holds the distribution, nothing more or less.
  lay_distribution "$O/expected"
  [ -f "$WINDOWS_BUILD/VormoCheck.exe" ] && cp "$WINDOWS_BUILD/VormoCheck.exe" "$O/expected/"
  if diff -r "$O/expected" "$SETUP" >"$O/files.diff" 2>&1; then pass; else fail "the package's folder differs from the distribution (see $O/files.diff)"; fi
  # Install.exe ran from a folder that is not the product folder: it copied
  # the subnet mapping file there.
  check "server_subnet.csv in the product folder $product" same_file "$P/drive_c/$PF/Oxlen/$product/server_subnet.csv" "$ROOT/dist/server_subnet.csv"
  # A 32-bit package's entries, read in the helper's own (32-bit) view.
  helper "$P" regdump default "$ARP_KEY" -- regdump default "$SAVED_KEY" >"$snap"
  check "ARP entry names the product" has_line "$snap" '"DisplayName"=sz:Vormo Port Monitor'
  check "ARP entry names the maker" has_line "$snap" '"Publisher"=sz:Oxlen Corporation'
  check "ARP entry's version" has_line "$snap" '"DisplayVersion"=sz:2.25'
}

# What a removal (or a failed installation) leaves: nothing of WORD or the package.
check_package_gone() {
  local word=$1 snap="$O/removed.snapshot"
  check_eq "no port of $word" "" "$(ports_of "$word")"
  helper "$P" regdump default "$MONITORS_KEY\\$word" -- regdump default "$ARP_KEY" -- regdump default "$SAVED_KEY" >"$snap"
  check "monitor $word not registered" has_line "$snap" "[$MONITORS_KEY\\$word] missing"
  check "no ARP entry" has_line "$snap" "[$ARP_KEY] missing"
  check "no remembered values" has_line "$snap" "[$SAVED_KEY] missing"
  # The package's folder, the product folder with the subnet file, the maker's folder.
  check "nothing left below $PF\\Oxlen" test ! -e "$P/drive_c/$PF/Oxlen"
}

# ---- scenarios ----

scenario_install() {
  begin install win64
  local log="$P/drive_c/windows/VOPortInstall.log"
  msiexec_run "$O/install" "$INSTALL"
  check_eq "exit code of the installation" 0 "$(cat "$O/install.rc")"
  check "msiexec's log where /l*v put it" test -s "$P/drive_c/windows/temp/VormoSetup.log"
  # No property, no switch: the heading of a run without arguments.
  check "Install.exe ran without arguments" log_has "$log" "Installing Vormo Port Monitor ..."
  check "Install.exe succeeded" log_has "$log" "Vormo Port Monitor Installed Sucessfully."
  check_package_installed Vormo "Vormo Client"
  msiexec_run "$O/remove" "$REMOVE_BY_CODE"
  check_eq "exit code of the removal" 0 "$(cat "$O/remove.rc")"
  check "Install.exe -u ran" log_has "$log" "Uninstalling Vormo Port Monitor..."
  check "Install.exe -u succeeded" log_has "$log" "Vormo Port Monitor UnInstalled Sucessfully."
  check_package_gone Vormo
}

scenario_enterprise() {
  begin enterprise win32
  local log="$P/drive_c/windows/temp/VormoPort.log"
  msiexec_run "$O/install" "$INSTALL_ENTERPRISE"
  check_eq "exit code of the installation" 0 "$(cat "$O/install.rc")"
  check "EDITION=Enterprise reached Install.exe as -a, LOGFILE as -l" log_has "$log" "Installing VormoE Port Monitor..."
  check_package_installed VormoE "Vormo Client Enterprise"
  check "edition remembered" has_line "$O/installed.snapshot" '"Edition"=sz:Enterprise'
  check "log file remembered" has_line "$O/installed.snapshot" '"LogFile"=sz:C:\Windows\Temp\VormoPort.log'
  check_eq "no standard ports" "" "$(ports_of Vormo)"
  # Removal without properties: the remembered edition and log file.
  msiexec_run "$O/remove" "$REMOVE_BY_PACKAGE"
  check_eq "exit code of the removal" 0 "$(cat "$O/remove.rc")"
  check "removed with -u -a, logged to the remembered file" log_has "$log" "Uninstalling VormoE Port Monitor..."
  check "Install.exe -u -a succeeded" log_has "$log" "VormoE Port Monitor UnInstalled Sucessfully."
  check_package_gone VormoE
}

scenario_failed() {
  begin failed win64
  helper "$P" regdelete 32 "$NET_KEY" -- regdelete 64 "$NET_KEY" >/dev/null
  msiexec_run "$O/install" "$INSTALL"
  # Windows answers 1603, Wine's msiexec 1627.
  check "msiexec reports failure (1603 or 1627): $(cat "$O/install.rc")" grep -qxE '1603|1627' "$O/install.rc"
  check "Install.exe's reason in its log" log_has "$P/drive_c/windows/VOPortInstall.log" \
    "ERROR: The .NET Framework 2.0 is not installed"
  check_package_gone Vormo
}

# ---- run ----

for name in "${SELECTED[@]}"; do declare -F "scenario_$name" >/dev/null || die "no scenario $name"; done
mkdir -p "$(dirname "$PACKAGE")"
bash "$ROOT/packaging/build-msi.sh" -o "$PACKAGE" >/dev/null || die "cannot build the package"
passed_total=0
failed_total=0
for name in "${SELECTED[@]}"; do
  counts="$WINE_WORK/out/msi/$name.counts"
  mkdir -p "$(dirname "$counts")"
  rm -f "$counts"
  started=$(date +%s)
  set +e
  (
    set -e
    P=""
    trap '[ -n "$P" ] && wine_stop "$P"' EXIT
    CURRENT_SCENARIO="msi $name"
    "scenario_$name"
    echo "$CHECKS_PASSED $CHECKS_FAILED" >"$counts"
  )
  set -e
  took=$(($(date +%s) - started))
  if [ -f "$counts" ]; then
    read -r passed failed <"$counts"
  else
    passed=0 failed=1
    echo "    FAIL [msi $name] the scenario stopped on an unexpected error"
  fi
  passed_total=$((passed_total + passed))
  failed_total=$((failed_total + failed))
  echo "  $([ "$failed" = 0 ] && echo 'ok  ' || echo FAIL) msi $name (${took}s)"
done
echo "wine msi: $passed_total checks passed, $failed_total failed"
[ "$failed_total" = 0 ]
