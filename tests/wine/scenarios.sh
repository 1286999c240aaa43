#!/usr/bin/env bash
# The installer's scenarios under Wine, for one prefix architecture:
#   scenarios.sh win32|win64 [SCENARIO...]
# Each scenario works on a fresh copy of the architecture's template (made by
# run_all.sh, or here when there is none) and runs the same command lines on
# the host build against winsim, on a simulated machine of the same Windows
# with the same printers, to compare the console bytes. Ends with a count line;
# fails when a check failed.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

arch=${1:-}
shift || true
case "$arch" in
  win32)
    OS=7-x86
    SET_STD=(VORMOVS.DLL VORMOUI.DLL VormoCairoLib.DLL)
    SET_ENT=(VORMOE.DLL VORMOEUI.DLL VormoECairoLib.DLL)
    PF="Program Files"
    ;;
  win64)
    OS=7-x64
    SET_STD=(VORMOVS64.DLL VORMO64UI.DLL VormoCairoLib64.DLL)
    SET_ENT=(VORMOE64.DLL VORMOE64UI.DLL VormoECairoLib64.DLL)
    # The 32-bit installer finds Program Files in the 32-bit registry view.
    PF="Program Files (x86)"
    ;;
  *) die "usage: scenarios.sh win32|win64 [SCENARIO...]" ;;
esac
ALL_SCENARIOS=(standin help mutex install reinstall enterprise nocopy registry refused uninstall uninstall_enterprise links link_webbrowser link_font link_client check)
[ $# -gt 0 ] && SELECTED=("$@") || SELECTED=("${ALL_SCENARIOS[@]}")

require_wine
[ -x "$HOST_BUILD/winsim" ] || die "no host build in $HOST_BUILD (cmake --preset host && cmake --build build/host)"
[ -f "$(template_dir "$arch")/.sealed" ] || make_template "$arch"

MONITORS_KEY='HKLM\SYSTEM\CurrentControlSet\Control\Print\Monitors'
EVENT_KEY='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\VormoPort'
RUN_KEY='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
CONTROL_KEY='HKLM\SOFTWARE\Vormo Monitor Stand-in'
LOCALES=(ar-SA bg-BG ca-ES cs-CZ da-DK de-DE el-GR es-ES et-EE fi-FI fr-FR he-IL hr-HR hu-HU id-ID it-IT ja-JP
  kk-KZ ko-KR lt-LT lv-LV ms-MY nb-NO nl-NL pl-PL pt-BR pt-PT ro-RO ru-RU sk-SK sl-SI sr-Cyrl-RS sr-Latn-RS sv-SE
  th-TH tr-TR uk-UA zh-CN zh-TW)

# ---- per-scenario ground ----

# begin NAME: a prepared prefix in $P, an output folder in $O, a host machine
# folder in $H; the monitor journals every Xcv command into C:\monitor.log.
begin() {
  local name=$1
  P=$(prepare_prefix "$arch" "$name")
  O="$WINE_WORK/out/$arch/$name"
  H="$WINE_WORK/host/$arch/$name"
  rm -rf "$O" "$H"
  mkdir -p "$O" "$(dirname "$H")"
  helper "$P" regset 64 "$CONTROL_KEY" 'Journal=sz:C:\monitor.log' >/dev/null
  host_machine "$H" "$OS"
}

# Edition names: sets WORD, PORT_PREFIX, MONITOR_SET, PRODUCT (folder below Oxlen).
edition() {
  if [ "$1" = enterprise ]; then
    WORD=VormoE PORT_PREFIX=VormoE MONITOR_SET=("${SET_ENT[@]}") PRODUCT="Vormo Client Enterprise"
  else
    WORD=Vormo PORT_PREFIX=Vormo MONITOR_SET=("${SET_STD[@]}") PRODUCT="Vormo Client"
  fi
}

# both RUN ARGS... : the installer under Wine and on the host; the outputs in
# $O/RUN (Wine) and $O/RUN.host; checks exit codes alike, CR LF line ends,
# the install log and the console bytes against the host's.
both() {
  local run=$1
  shift
  install_run "$P" "$O/$run" "$@"
  host_run "$H" "$O/$run.host" "$@"
  check_eq "$run: exit code like the host build's" "$(cat "$O/$run.host.rc")" "$(cat "$O/$run.rc")"
  check_line_ends "$O/$run"
  check_log_is_console "$O/$run"
  check_console_like_host "$O/$run" "$O/$run.host"
}

console_has() { tr -d '\r' <"$1" | grep -qxF -- "$2"; }

# The prefix's spooler and registry, one text for many checks.
snapshot() {
  local word=$1 file=$2
  helper "$P" ports -- printers -- regdump default "$MONITORS_KEY\\$word" -- regdump default "$EVENT_KEY" \
    -- regdump default "$RUN_KEY" >"$file"
}

has_line() { grep -qxF -- "$2" "$1"; }

# The record of a port, as hexadecimal bytes, from the prefix and from the host machine.
wine_record_hex() {
  local word=$1 port=$2 file="$P/drive_c/record-$2.bin"
  rm -f "$file"
  helper "$P" regget default "$MONITORS_KEY\\$word\\Ports\\$port" Record "C:\\record-$port.bin" >/dev/null 2>&1 || return 0
  od -An -v -tx1 "$file" | tr -s ' \n' '  ' | sed 's/^ //; s/ $//'
}

host_record_hex() {
  local word=$1 port=$2 values
  values=$(find "$H/registry/HKLM/SYSTEM" -ipath "*/Control/Print/Monitors/$word/Ports/$port/values.reg" | head -n 1)
  [ -n "$values" ] || return 0
  grep -i '^"Record"=hex:' "$values" | sed 's/^"[Rr]ecord"=hex://' | tr ',' ' '
}

check_records() {
  local word=$1 count=$2 i port wine host
  for ((i = 1; i <= count; i++)); do
    port=$(printf '%s%03d' "$word" "$i")
    wine=$(wine_record_hex "$word" "$port")
    host=$(host_record_hex "$word" "$port")
    if [ -n "$wine" ] && [ "$wine" = "$host" ] && [ "$(echo "$wine" | wc -w)" = 11608 ]; then
      pass
    else
      fail "record of $port: $(echo "$wine" | wc -w) bytes under Wine, $(echo "$host" | wc -w) on the host, $([ "$wine" = "$host" ] && echo equal || echo different)"
    fi
  done
}

same_file() { [ -f "$1" ] && [ -f "$2" ] && cmp -s "$1" "$2"; }

# A file of that name in the folder, whatever the letter case.
find_ci() { find "$1" -maxdepth 1 -iname "$2" -print -quit 2>/dev/null; }

# What one installation leaves: EDITION PORTS PRINTER_LINES...
check_installed() {
  local ed=$1 count=$2 snap="$O/installed.snapshot" i port f sys="$P/drive_c/windows/system32"
  shift 2
  edition "$ed"
  snapshot "$WORD" "$snap"
  # The monitor, registered under its key with its own DLL.
  check "monitor $WORD registered with ${MONITOR_SET[0]}" has_line "$snap" "\"Driver\"=sz:${MONITOR_SET[0]}"
  # Its ports, and nothing else of it.
  local expected="" listed
  for ((i = 1; i <= count; i++)); do expected+="$(printf '%s%03d|%s' "$PORT_PREFIX" "$i" "$WORD")"$'\n'; done
  listed=$(grep -E "^[^|]+\|$WORD\$" "$snap" | sort || true)
  check_eq "ports of $WORD" "$(printf '%s' "$expected" | sort)" "$listed"
  check_records "$WORD" "$count"
  local line
  for line in "$@"; do check "printer: $line" has_line "$snap" "$line"; done
  # The monitor file set in the native system directory, none in SysWOW64.
  for f in "${MONITOR_SET[@]}" VormoEvent.dll; do
    check "$f in the system directory" same_file "$(find_ci "$sys" "$f")" "$P/drive_c/Dist/$f"
  done
  if [ "$arch" = win64 ]; then
    for f in "${MONITOR_SET[@]:1}" VormoEvent.dll; do
      check "$f not in SysWOW64" test -z "$(find_ci "$P/drive_c/windows/syswow64" "$f")"
    done
  fi
  # The event-log source.
  check "EventMessageFile" has_line "$snap" '"EventMessageFile"=expand:%SystemRoot%\System32\VormoEvent.dll'
  check "TypesSupported" has_line "$snap" '"TypesSupported"=dword:7'
  check "CategoryMessageFile" has_line "$snap" '"CategoryMessageFile"=expand:%SystemRoot%\System32\VormoEvent.dll'
  check "CategoryCount" has_line "$snap" '"CategoryCount"=dword:10'
  # Fonts and the subnet file below the product folder.
  local product="$P/drive_c/$PF/Oxlen/$PRODUCT"
  for f in "$ROOT"/dist/FontFiles/*; do
    check "font $(basename "$f")" same_file "$product/Font/$(basename "$f")" "$f"
  done
  check "server_subnet.csv" same_file "$product/server_subnet.csv" "$ROOT/dist/server_subnet.csv"
  local client="$P/drive_c/$PF/Oxlen/Vormo Client/Client"
  if [ "$ed" = enterprise ]; then
    check "no client folder" test ! -e "$client"
    check "no Run value" test -z "$(grep -F '"Vormo Client"=' "$snap")"
    return
  fi
  check "Run value" has_line "$snap" "\"Vormo Client\"=sz:\"C:\\$PF\\Oxlen\\Vormo Client\\Client\\Vormo Client.exe\""
  if [ "$arch" = win64 ]; then
    check "Run value in the 32-bit view only" test -z "$(helper "$P" regdump 64 "$RUN_KEY" | grep -F 'Vormo Client')"
  fi
  for f in "Vormo Client.exe" Interop.SHDocVw.dll Microsoft.mshtml.dll; do
    check "client file $f" same_file "$client/$f" "$P/drive_c/Dist/$f"
  done
  local missing=0 loc
  for loc in "${LOCALES[@]}"; do
    same_file "$client/$loc/Vormo Client.resources.dll" "$P/drive_c/Dist/$loc/Vormo Client.resources.dll" || missing=$((missing + 1))
  done
  check_eq "culture folders with their resources" 0 "$missing"
  check_eq "folders in the client folder" 39 "$(find "$client" -mindepth 1 -maxdepth 1 -type d | wc -l)"
}

# What an uninstallation leaves: EDITION PRINTER_LINES...
check_uninstalled() {
  local ed=$1 snap="$O/uninstalled.snapshot" f sys="$P/drive_c/windows/system32"
  shift
  edition "$ed"
  snapshot "$WORD" "$snap"
  check "monitor key of $WORD removed" has_line "$snap" "[$MONITORS_KEY\\$WORD] missing"
  check "no port of $WORD" test -z "$(grep -E "^[^|]+\|$WORD\$" "$snap")"
  local line
  for line in "$@"; do check "printer: $line" has_line "$snap" "$line"; done
  for f in "${MONITOR_SET[@]}"; do
    check "$f deleted from the system directory" test -z "$(find_ci "$sys" "$f")"
  done
  # Left in place on purpose: the message file and the event-log source.
  check "VormoEvent.dll kept" same_file "$(find_ci "$sys" VormoEvent.dll)" "$P/drive_c/Dist/VormoEvent.dll"
  check "event-log source kept" has_line "$snap" '"CategoryCount"=dword:10'
  check "no Run value" test -z "$(grep -F '"Vormo Client"=' "$snap")"
  check "product folder removed" test ! -e "$P/drive_c/$PF/Oxlen/$PRODUCT"
  check "maker's folder removed" test ! -e "$P/drive_c/$PF/Oxlen"
}

# The monitor's journal of Xcv commands, as one line.
monitor_journal() { tr -d '\r' 2>/dev/null <"$P/drive_c/monitor.log" | paste -sd ';' || true; }

# Lines of the stand-in programs' journal that start with the program's name.
standin_starts() { tr -d '\r' 2>/dev/null <"$P/drive_c/standins.log" | grep -c "^$1|" || true; }

# The client is started without waiting; give it a moment to write its line.
wait_for_client() {
  local want=$1 i
  for ((i = 0; i < 100; i++)); do
    [ "$(standin_starts 'Vormo Client.exe')" -ge "$want" ] && return 0
    sleep 0.1
  done
}

# ---- scenarios ----

# The stand-in monitor itself, command by command, as the installer and the
# spooler meet it.
scenario_standin() {
  begin standin
  local dll=${SET_STD[0]} env=- x=(xcv Vormo 1)
  [ "$arch" = win64 ] && env="Windows x64"
  [ "$arch" = win32 ] && cp "$P/drive_c/Dist/$dll" "$P/drive_c/windows/system32/"
  helper "$P" addmonitor Vormo "$env" "$dll" -- addmonitor Vormo "$env" "$dll" \
    -- "${x[@]}" AddPort Probe001 -- "${x[@]}" AddPort Probe001 -- "${x[@]}" AddPort probe001 \
    -- "${x[@]}" AddPort 'a\b' -- "${x[@]}" AddPort bytes:3 -- "${x[@]}" addport Probe002 \
    -- "${x[@]}" MonitorUI bytes:0 -- "${x[@]}" AddPort Probe002 \
    -- "${x[@]}" SetPortData record:Probe001 -- "${x[@]}" SetPortData record:Probe999 \
    -- "${x[@]}" SetPortData bytes:100 -- "${x[@]}" SetPortData record:Probe000001 \
    -- "${x[@]}" DeletePort Probe999 -- xcv Vormo 0 AddPort Probe003 \
    -- regset 64 "$CONTROL_KEY" 'Refuse=sz:DeletePort:Probe001:32;AddPort:*:1' \
    -- "${x[@]}" DeletePort Probe001 -- "${x[@]}" AddPort Probe004 -- "${x[@]}" SetPortData record:Probe002 \
    -- enumports 1 -- enumports 2 -- enumports 3 >"$O/standin"
  local expected
  expected=$(cat <<'TABLE'
addmonitor 0
addmonitor 3006
AddPort Probe001 0
AddPort Probe001 183
AddPort probe001 183
AddPort a\b 123
AddPort bytes:3 87
addport Probe002 87
MonitorUI bytes:0 87
AddPort Probe002 0
SetPortData record:Probe001 0
SetPortData record:Probe999 2
SetPortData bytes:100 87
SetPortData record:Probe000001 87
DeletePort Probe999 2
AddPort Probe003 5
DeletePort Probe001 32
AddPort Probe004 1
SetPortData record:Probe002 0
TABLE
)
  check_eq "answers of the stand-in monitor" "$expected" "$(grep -vE '^(COM|LPT|FILE|Probe|error)' "$O/standin")"
  check_eq "EnumPorts level 1" "Probe001 Probe002" "$(grep -E '^Probe[0-9]+$' "$O/standin" | sort | paste -sd ' ')"
  check_eq "EnumPorts level 2" "Probe001|Vormo|Vormo Network Port (stand-in)|9 Probe002|Vormo|Vormo Network Port (stand-in)|9" \
    "$(grep -E '^Probe[0-9]+\|' "$O/standin" | sort | paste -sd ' ')"
  check_eq "EnumPorts level 3" "error 124" "$(grep '^error' "$O/standin")"
  check_eq "stored record" "11608 bytes" "$(wine_record_hex Vormo Probe001 | wc -w) bytes"
  check_eq "journal of the commands" 17 "$(tr -d '\r' <"$P/drive_c/monitor.log" | wc -l)"
  check "journal line of a refusal" grep -qx $'DeletePort Probe001 32\r' "$P/drive_c/monitor.log"
  # StopUIClients.exe: its exit code as the test chooses it.
  local code
  set +e
  STOPUICLIENTS_EXIT_CODE=7 wine_run "$P" 'C:\Dist\StopUIClients.exe' >/dev/null 2>&1
  code=$?
  printf '3\n' >"$P/drive_c/Dist/StopUIClients.exitcode"
  wine_run "$P" 'C:\Dist\StopUIClients.exe' >/dev/null 2>&1
  code="$code $?"
  set -e
  check_eq "stopper exit codes (environment, file)" "7 3" "$code"
}

USAGE=$'\n\nFor installation use \'Install.exe (server)\'\nFor uninstallation use \'Install.exe -u\'
For un/installation of Enterprise version use switch \'-a\'\nFor read configuration from registry use switch \'-r\'
For do not copy files use switch \'-c\'\nFor silent installation use switch \'-s\'
For specification of install log use switch \'-lLogFileName\'\nFor specification of INI file use switch \'-iINIFileName\'
For Install and Ignore Errors use \'Install.exe -e\' (NOT RECOMMENDED!)'

scenario_help() {
  begin help
  both help -?
  check_eq "exit code of -?" 255 "$(cat "$O/help.rc")"
  local text
  text=$(crlf_to_lf "$O/help"; echo x)
  text=${text%x}
  check "banner names the product and version 2.25" grep -q '^Vormo Port Monitor.*2\.25' <(printf '%s' "$text" | head -n 1)
  check "banner's copyright line with a year" grep -qE '^Copyright .*\b(19|20)[0-9]{2}\b' <(printf '%s' "$text" | sed -n 2p)
  check_eq "usage text after the two banner lines" "$USAGE" "$(printf '%s' "$text" | tail -n +3)"
  check "the log holds only this run" cmp -s "$O/help.log" "$P/drive_c/windows/VOPortInstall.log"
}

scenario_mutex() {
  begin mutex
  hold_mutex
  install_run "$P" "$O/second"
  release_mutex
  check_eq "exit code of the refused run" 255 "$(cat "$O/second.rc")"
  check_eq "console of the refused run" "ERROR: Another (un)installation already running." "$(cat "$O/second")"
  check_log_is_console "$O/second"
  check_eq "nothing else happened" "" "$(monitor_journal)"
}

PRINTERS_ON_PORTS=("Office Laser|Vormo001|0x40" "Front Desk|Vormo002|0x40")

scenario_install() {
  begin install
  both install
  check_eq "exit code" 0 "$(cat "$O/install.rc")"
  wait_for_client 1
  check_installed standard 3 "${PRINTERS_ON_PORTS[@]}"
  check_eq "Xcv commands" \
    "AddPort Vormo001 0;SetPortData Vormo001 0;AddPort Vormo002 0;SetPortData Vormo002 0;AddPort Vormo003 0;SetPortData Vormo003 0" \
    "$(monitor_journal)"
  check_eq "client stopper runs" 1 "$(standin_starts StopUIClients.exe)"
  check "client stopper started by its name, in C:\\Dist" grep -qE '^StopUIClients\.exe\|"?StopUIClients\.exe"?\|C:\\Dist\\?.?$' \
    <(tr -d '\r' <"$P/drive_c/standins.log")
  check_eq "client starts" 1 "$(standin_starts 'Vormo Client.exe')"
  check "client started from the client folder" grep -qF "Vormo Client.exe|\"C:\\$PF\\Oxlen\\Vormo Client\\Client\\Vormo Client.exe\"" \
    <(tr -d '\r' <"$P/drive_c/standins.log")
}

scenario_reinstall() {
  begin reinstall
  both first
  # This time a client instance will not end: the stopper says so with 1.
  printf '1\n' >"$P/drive_c/Dist/StopUIClients.exitcode"
  sed -i 's/^stopper_exit_code=.*/stopper_exit_code=1/' "$H/machine.conf"
  both second
  check_eq "exit code of the second installation" 0 "$(cat "$O/second.rc")"
  check "the stopper's refusal reported" console_has "$O/second" "  ERROR - Cannot stop all Vormo Client instances"
  check "printers taken off the old ports first" console_has "$O/second" "  - Disconnecting Printer 'Office Laser' from Vormo Port"
  check "old monitor removed without a 'not found'" test -z "$(tr -d '\r' <"$O/second" | grep -F '(Print Monitor Not Found)')"
  wait_for_client 2
  check_installed standard 3 "${PRINTERS_ON_PORTS[@]}"
  check_eq "client stopper runs" 2 "$(standin_starts StopUIClients.exe)"
  check_eq "client starts" 2 "$(standin_starts 'Vormo Client.exe')"
}

scenario_enterprise() {
  begin enterprise
  both install -a
  check_eq "exit code" 0 "$(cat "$O/install.rc")"
  check_installed enterprise 3 "Office Laser|VormoE001|0x40" "Front Desk|VormoE002|0x40"
  check_eq "no client stopper" 0 "$(standin_starts StopUIClients.exe)"
  check_eq "no client" 0 "$(standin_starts 'Vormo Client.exe')"
}

scenario_nocopy() {
  begin nocopy
  both first
  wait_for_client 1
  # A site's batch file, run after a successful installation with arguments.
  printf '@echo off\r\necho batch ran>C:\\batch.txt\r\n' >"$P/drive_c/Dist/install_printer.bat"
  # Mark the monitor files in the system directory: -c neither deletes nor
  # replaces them (a copy keeps the source's time, so times would not tell).
  local sys="$P/drive_c/windows/system32" f file
  for f in "${SET_STD[@]}"; do printf 'kept\n' >>"$(find_ci "$sys" "$f")"; done
  both nocopy -c
  check_eq "exit code of -c" 0 "$(cat "$O/nocopy.rc")"
  check "no files will be copied" console_has "$O/nocopy" "  No files will be copied"
  check "the batch file ran" grep -q 'batch ran' "$P/drive_c/batch.txt"
  for f in "${SET_STD[@]}"; do
    file=$(find_ci "$sys" "$f")
    check "$f left as it was" test "$(tail -c 5 "$file" 2>/dev/null)" = kept
    [ -n "$file" ] && cp "$P/drive_c/Dist/$f" "$file"
  done
  wait_for_client 2
  check_installed standard 3 "${PRINTERS_ON_PORTS[@]}"
}

# The sample INI file's port sections as registry values: a string for the
# text keys, a DWORD for the others.
ini_sections() {
  awk '
    /^[ \t]*;/ || /^[ \t]*$/ { next }
    /^[ \t]*\[/ { s = $0; gsub(/^[ \t]*\[|\][ \t]*$/, "", s); next }
    s ~ /^[0-9]+$/ {
      k = $0; sub(/=.*/, "", k); gsub(/^[ \t]+|[ \t]+$/, "", k)
      v = $0; sub(/^[^=]*=/, "", v); gsub(/^[ \t]+|[ \t]+$/, "", v)
      print s "\t" k "\t" v
    }' "$1"
}

is_text_key() {
  case "$1" in
    Description | ServerIP* | Queue | AuthText | ComPort | CurrentUserNameFormat | LogFilePath | BWPrintTempDir | \
      Note | RedirectToIP | UserNameRegExMatch | UserNameRegExReplace | EnvironmentVariableIP | AssignPrinter*) return 0 ;;
  esac
  return 1
}

scenario_registry() {
  begin registry
  local cfg='HKLM\SOFTWARE\Oxlen Corporation\Vormo\PortInstallCfg' args=() section key value last=""
  local hostroot="$H/registry/HKLM/SOFTWARE"
  [ "$arch" = win64 ] && hostroot="$hostroot/Wow6432Node"
  while IFS=$'\t' read -r section key value; do
    if [ "$section" != "$last" ]; then
      args+=(-- regset default "$cfg\\$section")
      last=$section
      mkdir -p "$hostroot/Oxlen Corporation/Vormo/PortInstallCfg/$section"
    fi
    local file="$hostroot/Oxlen Corporation/Vormo/PortInstallCfg/$section/values.reg"
    if is_text_key "$key"; then
      args+=("$key=sz:$value")
      printf '"%s"="%s"\n' "$key" "$(printf '%s' "$value" | sed 's/[\\"]/\\&/g')" >>"$file"
    else
      args+=("$key=dword:$value")
      printf '"%s"=dword:%08x\n' "$key" "$value" >>"$file"
    fi
  done < <(ini_sections "$ROOT/dist/Vormo.ini")
  helper "$P" "${args[@]:1}" >/dev/null
  # Read from the registry only: the INI file is neither tested nor read.
  rm -f "$P/drive_c/Dist/Vormo.ini"
  rm -f "$(find "$H/drive_c" -ipath '*/Dist/Vormo.ini' | head -n 1)"
  both install -r
  check_eq "exit code of -r" 0 "$(cat "$O/install.rc")"
  check "config read from the registry" console_has "$O/install" "  (config will be read from registry)"
  wait_for_client 1
  check_installed standard 3 "${PRINTERS_ON_PORTS[@]}"
}

scenario_refused() {
  begin refused
  helper "$P" regset 64 "$CONTROL_KEY" 'Refuse=sz:AddPort:Vormo002:5' >/dev/null
  "$HOST_BUILD/winsim" fault "$H" 'Xcv:AddPort Vormo002 5' >/dev/null
  both install
  check_eq "exit code: the installation goes on" 0 "$(cat "$O/install.rc")"
  check "the monitor's code" console_has "$O/install" "Cannot write configuration, error code: 5"
  check "the step's error line" console_has "$O/install" "ERROR While adding port configuration"
  check_eq "Xcv commands: section 3 is never read" \
    "AddPort Vormo001 0;SetPortData Vormo001 0;AddPort Vormo002 5" "$(monitor_journal)"
  wait_for_client 1
  # Printers are assigned for the one port written; the second keeps its port.
  check_installed standard 1 "Office Laser|Vormo001|0x40" "Front Desk|LPT2:|0x40"
}

scenario_uninstall() {
  begin uninstall
  both install
  wait_for_client 1
  # The stopper is gone from the distribution by now: reported, and the removal goes on.
  rm -f "$P/drive_c/Dist/StopUIClients.exe"
  rm -f "$(find "$H/drive_c" -ipath '*/Dist/StopUIClients.exe' | head -n 1)"
  both uninstall -u
  check_eq "exit code of -u" 0 "$(cat "$O/uninstall.rc")"
  check "the missing stopper reported" console_has "$O/uninstall" "  ERROR - Cannot stop all Vormo Client instances"
  check_uninstalled standard "Office Laser|FILE:|0x40" "Front Desk|FILE:|0x40"
  check "client folder removed" test ! -e "$P/drive_c/$PF/Oxlen/Vormo Client/Client"
  check_eq "client stopper runs" 1 "$(standin_starts StopUIClients.exe)"
}

scenario_uninstall_enterprise() {
  begin uninstall_enterprise
  both install -a
  both uninstall -u -a
  check_eq "exit code of -u -a" 0 "$(cat "$O/uninstall.rc")"
  check_uninstalled enterprise "Office Laser|FILE:|0x40" "Front Desk|FILE:|0x40"
  check_eq "no client stopper" 0 "$(standin_starts StopUIClients.exe)"
}

# Links in the client's folders, made from outside (a Unix symbolic link under
# Wine, a host link in the machine folder), each to a folder outside the
# prefix or machine: the uninstallation must leave those folders whole. Wine
# cannot remove a link to a folder that holds something, so there the
# WebBrowser folder stays; winsim removes the link as Windows does.
scenario_links() {
  begin links
  both install
  wait_for_client 1
  local wine_out="$WINE_WORK/outside/$arch-wine" host_out="$WINE_WORK/outside/$arch-host" where root
  rm -rf "$wine_out" "$host_out"
  for where in "$wine_out" "$host_out"; do
    mkdir -p "$where/sub"
    printf 'kept\n' >"$where/sub/file.txt"
  done
  for root in "$P/drive_c/$PF/Oxlen/Vormo Client" "$(find "$H/drive_c" -maxdepth 3 -ipath "*/Oxlen/Vormo Client" | head -n 1)"; do
    where=$wine_out
    [ "${root#"$H"}" != "$root" ] && where=$host_out
    mkdir -p "$root/WebBrowser/cache"
    printf 'x\n' >"$root/WebBrowser/cache/page.html"
    ln -s "$where" "$root/WebBrowser/Profile"
    ln -s "$where" "$root/WebBrowser/cache/deeper"
    ln -s "$where" "$root/Client/ja-JP/linked"
  done
  both uninstall -u
  check_eq "exit code of -u" 0 "$(cat "$O/uninstall.rc")"
  for where in "$wine_out" "$host_out"; do
    check "the folder a link points to is whole ($(basename "$where"))" grep -qx kept "$where/sub/file.txt"
  done
  check "the WebBrowser folder is gone on the host" test ! -e "$(find "$H/drive_c" -maxdepth 4 -ipath '*/Vormo Client/WebBrowser')"
  rm -rf "$wine_out" "$host_out"
}

# tree_of DIR: every entry below a folder, its kind and its content or
# where it leads, without following a link.
tree_of() {
  (cd "$1" && find . -mindepth 1 | LC_ALL=C sort | while IFS= read -r e; do
    if [ -L "$e" ]; then echo "$e -> $(readlink "$e")"
    elif [ -d "$e" ]; then echo "$e/"
    else echo "$e = $(cat "$e")"; fi
  done)
}

# A link in place of one of the client's folders (FOLDER below the product
# folder), made from outside, to a folder outside the prefix or machine that
# holds files named as the removals name them and a link of its own: the
# uninstallation enters no link, and that folder keeps every file. winsim
# removes the link as Windows removes a junction or symbolic link to a folder;
# Wine cannot remove a link to a folder that holds something, so there it
# stays.
link_at_root() {
  local folder=$1 wine_out="$WINE_WORK/outside/$arch-$1-wine" host_out="$WINE_WORK/outside/$arch-$1-host" where f
  rm -rf "$wine_out" "$host_out"
  for where in "$wine_out" "$host_out"; do
    mkdir -p "$where/ja-JP" "$where/cache"
    for f in "Vormo Client.exe" Interop.SHDocVw.dll Microsoft.mshtml.dll VormoSans.ttf server_subnet.csv \
      "ja-JP/Vormo Client.resources.dll" cache/page.html; do
      printf 'kept\n' >"$where/$f"
    done
    ln -s cache/page.html "$where/inner"
  done
  local before
  before=$(tree_of "$wine_out")
  local wine_root="$P/drive_c/$PF/Oxlen/Vormo Client" host_root="$H/drive_c/$PF/Oxlen/Vormo Client"
  mkdir -p "$wine_root" "$host_root"
  ln -s "$wine_out" "$wine_root/$folder"
  ln -s "$host_out" "$host_root/$folder"
  both uninstall -u
  check_eq "exit code of -u" 0 "$(cat "$O/uninstall.rc")"
  check_eq "the folder outside keeps every file (Wine)" "$before" "$(tree_of "$wine_out")"
  check_eq "the folder outside keeps every file (host)" "$before" "$(tree_of "$host_out")"
  check "the link stays under Wine" test -L "$wine_root/$folder"
  check "the link went as a link on the host" test ! -e "$host_root/$folder" -a ! -L "$host_root/$folder"
  rm -rf "$wine_out" "$host_out"
}

scenario_link_webbrowser() {
  begin link_webbrowser
  link_at_root WebBrowser
}

scenario_link_font() {
  begin link_font
  link_at_root Font
}

scenario_link_client() {
  begin link_client
  link_at_root Client
}

# VormoCheck.exe on the sample distribution (clean) and with the broken
# example INI file: its exit code and report, the same as the host build's.
scenario_check() {
  begin check
  local run code
  for run in clean broken; do
    if [ "$run" = broken ]; then
      cp "$ROOT/examples/broken-distribution/Vormo.ini" "$P/drive_c/Dist/Vormo.ini"
      cp "$ROOT/examples/broken-distribution/Vormo.ini" "$(find "$H/drive_c" -ipath '*/Dist/Vormo.ini' | head -n 1)"
    fi
    set +e
    WINEPREFIX=$P wine 'C:\Dist\VormoCheck.exe' >"$O/$run" 2>"$O/$run.stderr"
    echo $? >"$O/$run.rc"
    WINEPREFIX=$P wine 'C:\Dist\VormoCheck.exe' --json >"$O/$run.json" 2>/dev/null
    set -e
    HOST_PROGRAM='C:\Dist\VormoCheck.exe' host_run "$H" "$O/$run.host"
    check_eq "$run: exit code like the host build's" "$(cat "$O/$run.host.rc")" "$(cat "$O/$run.rc")"
    check_line_ends "$O/$run"
    check_console_like_host "$O/$run" "$O/$run.host"
    code=$(tr -d '\r' <"$O/$run.json" | sed -n 's/^  "exitCode": \([0-9]*\)$/\1/p')
    check_eq "$run: the JSON report's exit code" "$(cat "$O/$run.rc")" "$code"
  done
  check_eq "exit codes: clean, then errors" "0 2" "$(cat "$O/clean.rc") $(cat "$O/broken.rc")"
  check_eq "no Xcv command: the check changes nothing" "" "$(monitor_journal)"

  # Section lists at the edge of the check's first buffer (32768 bytes), and
  # port section 1 with a line of a single zero byte, which names no key: the
  # check and then the installer read them alike on both.
  local dist
  dist=$(find "$H/drive_c" -ipath '*/Dist' -type d | head -n 1)
  for run in fill_exact fill_short; do
    fill_ini "$run" >"$P/drive_c/Dist/$run.ini"
    cp "$P/drive_c/Dist/$run.ini" "$dist/$run.ini"
    set +e
    WINEPREFIX=$P wine 'C:\Dist\VormoCheck.exe' "-i$run.ini" >"$O/$run" 2>"$O/$run.stderr"
    echo $? >"$O/$run.rc"
    set -e
    HOST_PROGRAM='C:\Dist\VormoCheck.exe' host_run "$H" "$O/$run.host" "-i$run.ini"
    check_eq "$run: exit code like the host build's" "$(cat "$O/$run.host.rc")" "$(cat "$O/$run.rc")"
    check_line_ends "$O/$run"
    check_console_like_host "$O/$run" "$O/$run.host"
    check_eq "$run: clean (the zero-byte line is no key)" 0 "$(cat "$O/$run.rc")"
  done
  both install_fill -ifill_exact.ini
  check_eq "install_fill: exit code 0" 0 "$(cat "$O/install_fill.rc")"
  check "install_fill: the port of section 1" console_has "$O/install_fill" "    Printer 'Office Laser' assigned to port ${PORT_PREFIX:-Vormo}001"
}

# fill_ini exact|short: an INI whose section names fill the check's first
# buffer: section 1 (with a zero-byte line) and 33 long names make 32767
# bytes of names and zeros, so that with the list's closing zero they fill
# 32768 bytes exactly; "short" adds one more section after them.
fill_ini() {
  local kind=$1 i len
  printf '[1]\r\nServerIP=10.0.0.1\r\n\0\r\nAssignPrinter=Office Laser\r\n'
  for i in $(seq 1 33); do
    len=$((i == 33 ? 732 : 1000))
    printf '[%s]\r\n' "$(printf 'Pad%02d%0*d' "$i" $((len - 5)) 0)"
  done
  [ "$kind" = fill_short ] && printf '[Last]\r\n'
  return 0
}

# ---- run ----

# Each scenario runs in a subshell of its own, so that one that stops on an
# unexpected error is reported as failed and the others still run.
passed_total=0
failed_total=0
for name in "${SELECTED[@]}"; do declare -F "scenario_$name" >/dev/null || die "no scenario $name"; done
for name in "${SELECTED[@]}"; do
  counts="$WINE_WORK/out/$arch/$name.counts"
  mkdir -p "$(dirname "$counts")"
  rm -f "$counts"
  started=$(date +%s)
  set +e
  (
    set -e
    P=""
    trap '[ -n "$P" ] && wine_stop "$P"' EXIT
    CURRENT_SCENARIO="$arch $name"
    "scenario_$name"
    echo "$CHECKS_PASSED $CHECKS_FAILED" >"$counts"
  )
  set -e
  took=$(($(date +%s) - started))
  if [ -f "$counts" ]; then
    read -r passed failed <"$counts"
  else
    passed=0 failed=1
    echo "    FAIL [$arch $name] the scenario stopped on an unexpected error"
  fi
  passed_total=$((passed_total + passed))
  failed_total=$((failed_total + failed))
  if [ "$failed" = 0 ]; then
    echo "  ok   $arch $name (${took}s)"
  else
    echo "  FAIL $arch $name (${took}s)"
  fi
done
echo "wine scenarios ($arch): $passed_total checks passed, $failed_total failed"
[ "$failed_total" = 0 ]
