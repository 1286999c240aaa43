#!/usr/bin/env bash
# Vormo.msi under Wine: msiexec with the command lines of docs/deployment.md
# and with hostile ones, on copies of the prefix templates, with the
# distribution's stand-ins:
#   msi.sh [SCENARIO...]
#   install     64-bit: the default installation; a second installation asking for
#               another edition refused; a repair that restores a lost file and leaves
#               a printer bound by hand alone; the upgrade to 2.26 stopped by the
#               pre-flight check while it would put that printer on FILE:, then, the
#               printer moved and 2.25 repaired, keeping the ports and the INI's
#               printer bindings; its full removal running Install.exe -u
#   enterprise  32-bit: EDITION, INIFILE and LOGFILE remembered and used by the upgrade
#               to 2.26; a removal whose Install.exe -u fails keeps the package; a
#               feature removal running Install.exe -u -a with them
#   refused     64-bit: hostile properties (command line and remembered) and a broken
#               configuration stopped by the pre-flight check, each with nothing changed
#   upgrade_failed  32-bit, without the .NET Framework: the upgrade stopped by the
#               pre-flight check leaves 2.25 as it was; past the check (SKIPCHECK=1)
#               Install.exe fails and 2.25 stays registered; the guide's recovery
#               (2.25 repaired with REDEPLOY=1, then the upgrade again) succeeds; a
#               removal with IGNOREERRORS=1 goes through although Install.exe -u fails
# Builds its own packages from the sample distribution (packaging/build-msi.sh):
# Vormo.msi at 2.25 and Vormo-2.26.msi, from the same sources.
# Ends with a count line; fails when a check failed.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

ALL_SCENARIOS=(install enterprise refused upgrade_failed)
[ $# -gt 0 ] && SELECTED=("$@") || SELECTED=("${ALL_SCENARIOS[@]}")
require_wine

GUIDE="$ROOT/docs/deployment.md"
PACKAGES="$WINE_WORK/msi"
MONITORS_KEY='HKLM\SYSTEM\CurrentControlSet\Control\Print\Monitors'
UNINSTALL_KEY='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'
SAVED_KEY='HKLM\SOFTWARE\Oxlen Corporation\Vormo Port Monitor Setup'
NET_KEY='HKLM\Software\Microsoft\NET Framework Setup\NDP\v2.0.50727'
SETUP_LOG='C:\Windows\Temp\VormoSetup.log'

# begin NAME ARCH: a prefix in $P with both packages in C:\Packages, an output
# folder in $O; $PF is the Program Files folder a 32-bit package installs
# into, $SETUP the package's folder, $LOG Install.exe's default log.
begin() {
  local name=$1 arch=$2
  [ -f "$(template_dir "$arch")/.sealed" ] || make_template "$arch" >/dev/null
  P=$(new_prefix "$arch" "msi-$name")
  O="$WINE_WORK/out/msi/$name"
  rm -rf "$O"
  mkdir -p "$O" "$P/drive_c/Packages"
  cp "$PACKAGES/Vormo.msi" "$PACKAGES/Vormo-2.26.msi" "$P/drive_c/Packages/"
  PF="Program Files"
  if [ "$arch" = win64 ]; then
    PF="Program Files (x86)"
    # Wine's spooler loads monitors from SysWOW64 into the 32-bit installer (README.md).
    cp "$WINDOWS_BUILD/standins/VORMOVS64.DLL" "$WINDOWS_BUILD/standins/VORMOE64.DLL" "$P/drive_c/windows/syswow64/"
  fi
  SETUP="$P/drive_c/$PF/Oxlen/Vormo Port Monitor Setup"
  LOG="$P/drive_c/windows/VOPortInstall.log"
}

# msiexec_line OUT ARGUMENTS: msiexec with ARGUMENTS exactly as written (a
# batch file holds the line, so that nothing quotes it again), in C:\Packages;
# msiexec's whole exit code in OUT.rc (a Unix exit status keeps 8 bits of it).
msiexec_line() {
  local out=$1 line=$2
  printf '@start "" /wait msiexec %s\r\n@echo exit code %%errorlevel%%\r\n' "$line" >"$P/drive_c/Packages/run.bat"
  (cd "$P/drive_c/Packages" && WINEPREFIX=$P wine cmd /c 'C:\Packages\run.bat' >"$out" 2>"$out.stderr") || true
  tr -d '\r' <"$out" | sed -n 's/^exit code //p' >"$out.rc"
}

# guide_run OUT LINE: one of the guide's command lines, as it stands there.
guide_run() {
  check "the guide gives: $2" grep -qxF -- "$2" "$GUIDE"
  msiexec_line "$1" "${2#msiexec }"
}

# The product code of a package.
product_code() { msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductCode" { print $2 }'; }

has_line() { grep -qxF -- "$2" "$1"; }
same_file() { [ -f "$1" ] && [ -f "$2" ] && cmp -s "$1" "$2"; }
# (grep reads the whole text: with -q it could end the pipe early.)
log_has() { tr -d '\r' <"$1" | grep -xF -- "$2" >/dev/null; }
log_has_start() { tr -d '\r' <"$1" | grep -F -- "$2" >/dev/null; }
log_matches() { tr -d '\r' <"$1" | grep -E -- "$2" >/dev/null; }
lacks() { ! grep -F -- "$2" "$1" >/dev/null; }
count_lines() { [ -f "$1" ] && tr -d '\r' <"$1" | grep -cxF -- "$2" || true; }
# msiexec's log, read as UTF-8 text (Wine writes it in the ANSI code page).
msi_log() { echo "$P/drive_c/windows/temp/$1"; }

# The ports of a monitor, one line.
ports_of() { helper "$P" ports | grep -E "\|$1\$" | cut -d'|' -f1 | sort | paste -sd ' ' || true; }

# The machine as printing sees it: printers and their ports, ports, monitors,
# the package's entries in Add/Remove Programs; with "all", also the
# remembered configuration and the files below Program Files\Oxlen.
machine_state() {
  local what=${1:-} code
  local args=(printers -- ports -- monitors)
  for code in "$CODE_225" "$CODE_226"; do args+=(-- regdump default "$UNINSTALL_KEY\\$code"); done
  [ "$what" = all ] && args+=(-- regdump default "$SAVED_KEY")
  helper "$P" "${args[@]}"
  if [ "$what" = all ]; then
    (cd "$P/drive_c" && find "$PF/Oxlen" -printf '%p %s\n' 2>/dev/null | sort) || true
    [ -f "$LOG" ] && echo "install log: $(stat -c %s "$LOG") bytes" || echo "no install log"
  fi
}
check_unchanged() {
  local what=$1 before=$2 after=$3
  if cmp -s "$before" "$after"; then pass; else
    fail "$what: the machine changed (< before, > after):"
    { diff "$before" "$after" || true; } | head -10 | sed 's/^/      /'
  fi
}

# A refused run: 1603, the package's message in msiexec's log, nothing changed.
check_refused() {
  local out=$1 log=$2 message=$3 before=$4
  check_eq "exit code ($message)" 1603 "$(cat "$out.rc")"
  check "msiexec's log gives: $message" log_has_start "$log" "$message"
  machine_state all >"$out.state"
  check_unchanged "$message" "$before" "$out.state"
}

registered() { helper "$P" regdump default "$UNINSTALL_KEY\\$1" | grep -qxF '"DisplayName"=sz:Vormo Port Monitor'; }
not_registered() { ! registered "$1"; }

# What the package leaves installed: WORD (monitor), PRODUCT (client product
# folder), VERSION, PORTS.
check_package_installed() {
  local word=$1 product=$2 version=$3 ports=$4 snap="$O/installed-$3.snapshot"
  check_eq "ports of $word" "$ports" "$(ports_of "$word")"
  # The package's folder holds the distribution, nothing more or less.
  rm -rf "$O/expected"
  lay_distribution "$O/expected"
  if diff -r "$O/expected" "$SETUP" >"$O/files.diff" 2>&1; then pass; else fail "the package's folder differs from the distribution (see $O/files.diff)"; fi
  # Install.exe ran from a folder that is not the product folder: it copied
  # the subnet mapping file there.
  check "server_subnet.csv in the product folder $product" same_file "$P/drive_c/$PF/Oxlen/$product/server_subnet.csv" "$ROOT/dist/server_subnet.csv"
  # A 32-bit package's entries, read in the helper's own (32-bit) view.
  local code=$CODE_225
  [ "$version" = 2.26 ] && code=$CODE_226
  helper "$P" regdump default "$UNINSTALL_KEY\\$code" -- regdump default "$SAVED_KEY" >"$snap"
  check "ARP entry names the product" has_line "$snap" '"DisplayName"=sz:Vormo Port Monitor'
  check "ARP entry names the maker" has_line "$snap" '"Publisher"=sz:Oxlen Corporation'
  check "ARP entry's version" has_line "$snap" "\"DisplayVersion\"=sz:$version"
}

# What a removal leaves: nothing of WORD or the package.
check_package_gone() {
  local word=$1 snap="$O/removed.snapshot"
  check_eq "no port of $word" "" "$(ports_of "$word")"
  helper "$P" regdump default "$MONITORS_KEY\\$word" -- regdump default "$SAVED_KEY" >"$snap"
  check "monitor $word not registered" has_line "$snap" "[$MONITORS_KEY\\$word] missing"
  check "no remembered values" has_line "$snap" "[$SAVED_KEY] missing"
  # The package's folder, the product folder with the subnet file, the maker's folder.
  check "nothing left below $PF\\Oxlen" test ! -e "$P/drive_c/$PF/Oxlen"
}

# ---- scenarios ----

scenario_install() {
  begin install win64
  guide_run "$O/install" "$INSTALL"
  check_eq "exit code of the installation" 0 "$(cat "$O/install.rc")"
  # No property, no switch: the heading of a run without arguments, after the
  # pre-flight check; the INI file protected (Wine keeps no permissions:
  # the custom action's line shows that it ran).
  check "Install.exe ran without arguments" log_has "$LOG" "Installing Vormo Port Monitor ..."
  check "Install.exe succeeded" log_has "$LOG" "Vormo Port Monitor Installed Sucessfully."
  local setup_log
  setup_log=$(msi_log VormoSetup.log)
  check "the pre-flight check ran" log_has "$setup_log" "Vormo: the pre-flight check found nothing in the way."
  check "Vormo.ini protected" log_has "$setup_log" \
    "Vormo: C:\\$PF\\Oxlen\\Vormo Port Monitor Setup\\Vormo.ini is readable by Administrators and SYSTEM only."
  check "no AuthText in msiexec's log" lacks "$setup_log" "AuthText=depot"
  check_package_installed Vormo "Vormo Client" 2.25 "Vormo001 Vormo002 Vormo003"

  # A printer bound by hand to a port of the monitor, and a file of the package lost.
  helper "$P" addprinter "Hand Bound" Vormo003 >/dev/null
  rm "$SETUP/VORMOVS.DLL"
  machine_state all >"$O/before-edition.state"
  msiexec_line "$O/edition" '/i Vormo.msi /qn EDITION=Enterprise /l*v C:\Windows\Temp\VormoEdition.log'
  check_refused "$O/edition" "$(msi_log VormoEdition.log)" \
    "The edition cannot be changed while a version of the package is installed (it was installed as Standard)" \
    "$O/before-edition.state"

  # A repair: the file is back; Install.exe does not run, so the printer bound
  # by hand stays on its port.
  local installs
  installs=$(count_lines "$LOG" "Installing Vormo Port Monitor ...")
  guide_run "$O/repair" "$REPAIR"
  check_eq "exit code of the repair" 0 "$(cat "$O/repair.rc")"
  check "the repair restored VORMOVS.DLL" same_file "$SETUP/VORMOVS.DLL" "$WINDOWS_BUILD/standins/VORMOVS.DLL"
  check_eq "the repair did not run Install.exe" "$installs" "$(count_lines "$LOG" "Installing Vormo Port Monitor ...")"
  check "the printer bound by hand is still on Vormo003" grep -qxF "Hand Bound|Vormo003|0x40" <(helper "$P" printers)

  # The upgrade runs Install.exe, which would put the printer bound by hand on
  # FILE: (no port section names it): the pre-flight check stops it before
  # Install.exe runs, and printing stays as it was. The printer moved off the
  # monitor's port (the check's fix), 2.25 put back to work as the guide's
  # recovery says (as in upgrade_failed: under Wine the stopped upgrade takes
  # 2.25's remembered values along), then 2.26 replaces 2.25, without 2.25's
  # Install.exe -u; the ports and the printers the INI file names stay.
  machine_state >"$O/before-upgrade.state"
  guide_run "$O/upgrade-stopped" "$UPGRADE"
  check_eq "exit code of the stopped upgrade" 1603 "$(cat "$O/upgrade-stopped.rc")"
  check "the check names the printer that would stop printing" log_matches "$(msi_log VormoUpgrade.log)" \
    "^VormoCheck\.exe: .*\[printer-to-file\] printer 'Hand Bound' is on Vormo003"
  machine_state >"$O/upgrade-stopped.state"
  check_unchanged "the upgrade stopped by the pre-flight check" "$O/before-upgrade.state" "$O/upgrade-stopped.state"
  check "2.25 still registered" registered "$CODE_225"
  check_eq "Install.exe did not run" "$installs" "$(count_lines "$LOG" "Installing Vormo Port Monitor ...")"
  helper "$P" setport "Hand Bound" LPT1: >/dev/null
  guide_run "$O/recover" "$RECOVER"
  check_eq "exit code of 2.25's repair" 0 "$(cat "$O/recover.rc")"
  installs=$(count_lines "$LOG" "Installing Vormo Port Monitor ...")
  guide_run "$O/upgrade" "$UPGRADE"
  check_eq "exit code of the upgrade" 0 "$(cat "$O/upgrade.rc")"
  check "2.25 no longer registered" not_registered "$CODE_225"
  check_package_installed Vormo "Vormo Client" 2.26 "Vormo001 Vormo002 Vormo003"
  helper "$P" printers >"$O/printers-upgraded"
  check "Office Laser still on Vormo001" grep -qxF "Office Laser|Vormo001|0x40" "$O/printers-upgraded"
  check "Front Desk still on Vormo002" grep -qxF "Front Desk|Vormo002|0x40" "$O/printers-upgraded"
  check_eq "no Install.exe -u in the upgrade" 0 "$(count_lines "$LOG" "Uninstalling Vormo Port Monitor...")"
  check_eq "Install.exe ran once more" $((installs + 1)) "$(count_lines "$LOG" "Installing Vormo Port Monitor ...")"

  # The full removal: VORMOARGS, once a property that reached the command
  # line, is nothing to the package.
  msiexec_line "$O/remove" '/x Vormo-2.26.msi /qn VORMOARGS=x /l*v C:\Windows\Temp\VormoRemove.log'
  check_eq "exit code of the removal" 0 "$(cat "$O/remove.rc")"
  check "Install.exe -u ran" log_has "$LOG" "Uninstalling Vormo Port Monitor..."
  check "Install.exe -u succeeded" log_has "$LOG" "Vormo Port Monitor UnInstalled Sucessfully."
  check "no ARP entry" not_registered "$CODE_226"
  check_package_gone Vormo
}

scenario_enterprise() {
  begin enterprise win32
  local log="$P/drive_c/windows/temp/VormoPort.log" snap="$O/remembered"
  # The site's own INI file: the sample's first two sections.
  mkdir -p "$P/drive_c/Site"
  awk '/^\[3\]/ { exit } { print }' "$ROOT/dist/Vormo.ini" >"$P/drive_c/Site/Vormo.ini"
  guide_run "$O/install" "$INSTALL_ENTERPRISE"
  check_eq "exit code of the installation" 0 "$(cat "$O/install.rc")"
  check "EDITION reached Install.exe as -a, LOGFILE as -l" log_has "$log" "Installing VormoE Port Monitor..."
  check_package_installed VormoE "Vormo Client Enterprise" 2.25 "VormoE001 VormoE002"
  helper "$P" regdump default "$SAVED_KEY" >"$snap"
  for value in '"Edition"=sz:Enterprise' '"IniFile"=sz:C:\Site\Vormo.ini' '"LogFile"=sz:C:\Windows\Temp\VormoPort.log'; do
    check "remembered: $value" has_line "$snap" "$value"
  done

  # The upgrade without properties (VORMOARGS=-u changes nothing): the
  # remembered edition, INI file and log; still two ports.
  msiexec_line "$O/upgrade" '/i Vormo-2.26.msi /qn VORMOARGS=-u /l*v C:\Windows\Temp\VormoUpgrade.log'
  check_eq "exit code of the upgrade" 0 "$(cat "$O/upgrade.rc")"
  check_eq "Install.exe -a ran twice, into the remembered log" 2 "$(count_lines "$log" "Installing VormoE Port Monitor...")"
  check_package_installed VormoE "Vormo Client Enterprise" 2.26 "VormoE001 VormoE002"
  check_eq "no standard ports" "" "$(ports_of Vormo)"

  # A removal whose Install.exe -u fails (another installer run holds the
  # mutex) fails and keeps the package with its files and the monitor.
  hold_mutex
  msiexec_line "$O/refused-removal" '/i Vormo-2.26.msi /qn REMOVE=PortMonitor /l*v C:\Windows\Temp\VormoRemoveFailed.log'
  release_mutex
  check_eq "exit code of the removal whose Install.exe -u failed" 1603 "$(cat "$O/refused-removal.rc")"
  check "msiexec's log says why" log_has_start "$(msi_log VormoRemoveFailed.log)" "Install.exe -u failed (exit code -1). The package stays installed."
  # (Wine's rollback drops the ARP entry here: tests/wine/README.md.)
  check_eq "the monitor's ports stay" "VormoE001 VormoE002" "$(ports_of VormoE)"
  check "the package's files stay" same_file "$SETUP/Install.exe" "$WINDOWS_BUILD/Install.exe"

  # Removing the package's one feature removes its files: Install.exe -u -a first.
  guide_run "$O/remove" "$REMOVE_FEATURE"
  check_eq "exit code of the feature removal" 0 "$(cat "$O/remove.rc")"
  check "Install.exe -u -a ran into the remembered log" log_has "$log" "Uninstalling VormoE Port Monitor..."
  check "Install.exe -u -a succeeded" log_has "$log" "VormoE Port Monitor UnInstalled Sucessfully."
  check_package_gone VormoE
}

scenario_refused() {
  begin refused win64
  mkdir -p "$P/drive_c/Site"
  cp "$ROOT/examples/broken-distribution/Vormo.ini" "$P/drive_c/Site/broken.ini"
  machine_state all >"$O/before.state"
  # Each value is refused by the package itself before anything changes.
  # (Wine's msiexec drops every double quote from a command-line value:
  # a quote reaches the package only through the remembered value below.)
  local n=0 line message
  while IFS='|' read -r line message; do
    n=$((n + 1))
    msiexec_line "$O/run$n" "/i Vormo.msi /qn $line /l*v C:\\Windows\\Temp\\Refused$n.log"
    check_refused "$O/run$n" "$(msi_log "Refused$n.log")" "$message" "$O/before.state"
  done <<'RUNS'
SERVER=-u|SERVER="-u" is refused: SERVER must be a print server's name
SERVER=\\srv\|SERVER="\\srv\" is refused
SERVER="\\srv -u"|SERVER="\\srv -u" is refused
INIFILE=Vormo.ini|INIFILE="Vormo.ini" is refused: INIFILE must be a full path
LOGFILE=C:\Logs\|LOGFILE="C:\Logs\" is refused
EDITION=Gold|EDITION="Gold" is refused: EDITION must be Standard or Enterprise
RUNS

  # A remembered value that would split into more arguments.
  helper "$P" regset default "$SAVED_KEY" 'Edition=sz:Standard' 'Server=sz:\\srv" -u' >/dev/null
  machine_state all >"$O/before-remembered.state"
  msiexec_line "$O/remembered" '/i Vormo.msi /qn /l*v C:\Windows\Temp\Remembered.log'
  check_refused "$O/remembered" "$(msi_log Remembered.log)" \
    'The remembered value Server="\\srv" -u" in HKLM\SOFTWARE\Oxlen Corporation\Vormo Port Monitor Setup is refused' \
    "$O/before-remembered.state"
  helper "$P" regdelete default "$SAVED_KEY" >/dev/null

  # A configuration the pre-flight check finds errors in: the package's files
  # come and go, Install.exe never runs, the findings are in msiexec's log.
  msiexec_line "$O/gate" '/i Vormo.msi /qn INIFILE=C:\Site\broken.ini /l*v C:\Windows\Temp\Gate.log'
  check_refused "$O/gate" "$(msi_log Gate.log)" "The pre-flight check found errors (VormoCheck.exe exit code 2" "$O/before.state"
  # (The finding's wording is the check's own: only its severity and subject are looked for.)
  check "the findings in msiexec's log" log_matches "$(msi_log Gate.log)" "^VormoCheck\.exe: .*ERROR.*'Accounting'"
}

scenario_upgrade_failed() {
  begin upgrade_failed win32
  guide_run "$O/install" "$INSTALL"
  check_eq "exit code of 2.25's installation" 0 "$(cat "$O/install.rc")"
  # No .NET Framework: the pre-flight check stops the upgrade before
  # Install.exe runs. The machine as printing sees it stays as it was.
  helper "$P" regdelete 32 "$NET_KEY" -- regdelete 64 "$NET_KEY" >/dev/null
  machine_state >"$O/before.state"
  guide_run "$O/stopped" "$UPGRADE"
  check_eq "exit code of the stopped upgrade" 1603 "$(cat "$O/stopped.rc")"
  machine_state >"$O/stopped.state"
  check_unchanged "the upgrade stopped by the pre-flight check" "$O/before.state" "$O/stopped.state"
  check "2.25 still registered" registered "$CODE_225"
  check_eq "Install.exe ran once" 1 "$(count_lines "$LOG" "Installing Vormo Port Monitor ...")"

  # Past the check, Install.exe fails: 2.26 is rolled back, 2.25 stays registered.
  msiexec_line "$O/failed" '/i Vormo-2.26.msi /qn SKIPCHECK=1 /l*v C:\Windows\Temp\VormoUpgrade.log'
  check_eq "exit code of the failed upgrade" 1603 "$(cat "$O/failed.rc")"
  check "Install.exe's reason in its log" log_has "$LOG" "ERROR: The .NET Framework 2.0 is not installed"
  check "2.25 still registered" registered "$CODE_225"
  check "2.26 not registered" not_registered "$CODE_226"

  # The guide's recovery: with the cause mended, 2.25 repaired with its
  # Install.exe run again (its monitor and ports back), then the upgrade again.
  helper "$P" regset 32 "$NET_KEY" Install=dword:1 -- regset 64 "$NET_KEY" Install=dword:1 >/dev/null
  guide_run "$O/recover" "$RECOVER"
  check_eq "exit code of 2.25's repair" 0 "$(cat "$O/recover.rc")"
  check_package_installed Vormo "Vormo Client" 2.25 "Vormo001 Vormo002 Vormo003"
  guide_run "$O/upgrade" "$UPGRADE"
  check_eq "exit code of the upgrade run again" 0 "$(cat "$O/upgrade.rc")"
  check "2.25 no longer registered" not_registered "$CODE_225"
  check_package_installed Vormo "Vormo Client" 2.26 "Vormo001 Vormo002 Vormo003"

  # With IGNOREERRORS=1 a removal whose Install.exe -u fails removes the
  # package all the same and leaves the monitor behind.
  hold_mutex
  msiexec_line "$O/forced" '/x Vormo-2.26.msi /qn IGNOREERRORS=1 /l*v C:\Windows\Temp\VormoRemove.log'
  release_mutex
  check_eq "exit code of the removal with IGNOREERRORS=1" 0 "$(cat "$O/forced.rc")"
  check "msiexec's log says so" log_has_start "$(msi_log VormoRemove.log)" \
    "Vormo: Install.exe -u failed (exit code -1); IGNOREERRORS=1: the package is removed all the same."
  check "2.26 no longer registered" not_registered "$CODE_226"
  check "the package's folder is gone" test ! -e "$SETUP"
  check_eq "the monitor's ports stay behind" "Vormo001 Vormo002 Vormo003" "$(ports_of Vormo)"
}

# ---- run ----

for name in "${SELECTED[@]}"; do declare -F "scenario_$name" >/dev/null || die "no scenario $name"; done
mkdir -p "$PACKAGES"
bash "$ROOT/packaging/build-msi.sh" -o "$PACKAGES/Vormo.msi" >/dev/null || die "cannot build the package"
bash "$ROOT/packaging/build-msi.sh" -o "$PACKAGES/Vormo-2.26.msi" -v 2.26 >/dev/null || die "cannot build the 2.26 package"
CODE_225=$(product_code "$PACKAGES/Vormo.msi")
CODE_226=$(product_code "$PACKAGES/Vormo-2.26.msi")
# The guide's command lines, run as they stand.
INSTALL="msiexec /i Vormo.msi /qn /l*v $SETUP_LOG"
INSTALL_ENTERPRISE="msiexec /i Vormo.msi /qn EDITION=Enterprise INIFILE=C:\\Site\\Vormo.ini LOGFILE=C:\\Windows\\Temp\\VormoPort.log /l*v $SETUP_LOG"
REPAIR="msiexec /i Vormo.msi /qn REINSTALL=ALL REINSTALLMODE=omus /l*v C:\\Windows\\Temp\\VormoRepair.log"
UPGRADE="msiexec /i Vormo-2.26.msi /qn /l*v C:\\Windows\\Temp\\VormoUpgrade.log"
RECOVER="msiexec /i $CODE_225 /qn REINSTALL=ALL REINSTALLMODE=omus REDEPLOY=1 /l*v C:\\Windows\\Temp\\VormoRepair.log"
REMOVE_FEATURE="msiexec /i Vormo-2.26.msi /qn REMOVE=PortMonitor /l*v C:\\Windows\\Temp\\VormoRemove.log"
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
