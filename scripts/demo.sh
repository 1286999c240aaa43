#!/usr/bin/env bash
# An installation, then an uninstallation, on a fresh simulated machine with
# the sample distribution; shows the console output and the machine after each.
set -euo pipefail
cd "$(dirname "$0")/.."
winsim=build/host/winsim
machine=build/demo-machine

rule() { printf '\n==== %s ====\n\n' "$1"; }

rm -rf "$machine"
"$winsim" new "$machine" --printer "Office Laser=LPT1:" --printer "Front Desk=LPT2:,COM1:" \
  --printer "Reception=LPT3:"
rule "A fresh machine: 64-bit Windows 7, the sample distribution in C:\\Dist"
"$winsim" show "$machine"

rule "Pre-flight check of the sample distribution: winsim run $machine 'C:\\Dist\\VormoCheck.exe'"
set +e
"$winsim" run "$machine" 'C:\Dist\VormoCheck.exe'
code=$?
set -e
printf '\n(exit code %d: 0 clean, 1 warnings only, 2 errors)\n' "$code"

# A broken copy of it: the example INI file of examples/broken-distribution
# and one monitor DLL missing.
broken="$machine/drive_c/Broken"
cp -r "$machine/drive_c/Dist" "$broken"
cp examples/broken-distribution/Vormo.ini "$broken/Vormo.ini"
rm -f "$broken/VORMO64UI.DLL"
rule "Pre-flight check of a broken distribution: winsim run $machine 'C:\\Broken\\VormoCheck.exe'"
set +e
"$winsim" run "$machine" 'C:\Broken\VormoCheck.exe'
code=$?
set -e
printf '\n(exit code %d)\n' "$code"
rm -rf "$broken"

rule "Installation: winsim run $machine 'C:\\Dist\\Install.exe' -lC:\\Dist\\install.log"
set +e
"$winsim" run "$machine" 'C:\Dist\Install.exe' '-lC:\Dist\install.log'
code=$?
set -e
printf '\n(exit code %d)\n' "$code"
rule "The machine after the installation"
"$winsim" show "$machine"

# The machine as it is now, captured and rebuilt elsewhere: a rehearsal of the
# uninstallation that changes nothing on the machine itself.
rule "Capture of the installed machine: winsim run $machine 'C:\\Dist\\VormoCheck.exe' --capture C:\\capture.json"
"$winsim" run "$machine" 'C:\Dist\VormoCheck.exe' --capture 'C:\capture.json'
printf '\nThe first lines of the capture (JSON, format 1; AuthText withheld):\n\n'
head -n 24 "$machine/drive_c/capture.json"
echo "  ..."
rehearsal=build/demo-rehearsal
rm -rf "$rehearsal"
cp "$machine/drive_c/capture.json" build/demo-capture.json
rm -f "$machine/drive_c/capture.json"
rule "Rehearsal: winsim new $rehearsal --from build/demo-capture.json, then the uninstallation there"
"$winsim" new "$rehearsal" --from build/demo-capture.json
set +e
"$winsim" run "$rehearsal" 'C:\Dist\Install.exe' -u
code=$?
set -e
printf '\n(exit code %d; the printers of the rebuilt machine afterwards:)\n' "$code"
"$winsim" show "$rehearsal" | sed -n '/^Printers:/,/^$/p'

rule "Uninstallation: winsim run $machine 'C:\\Dist\\Install.exe' -u -lC:\\Dist\\install.log"
set +e
"$winsim" run "$machine" 'C:\Dist\Install.exe' -u '-lC:\Dist\install.log'
code=$?
set -e
printf '\n(exit code %d)\n' "$code"
rule "The machine after the uninstallation"
"$winsim" show "$machine"
rule "The install log, C:\\Dist\\install.log (CR LF line ends shown as ^M)"
cat -v "$machine/drive_c/Dist/install.log"
