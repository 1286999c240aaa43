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

rule "Installation: winsim run $machine 'C:\\Dist\\Install.exe' -lC:\\Dist\\install.log"
set +e
"$winsim" run "$machine" 'C:\Dist\Install.exe' '-lC:\Dist\install.log'
code=$?
set -e
printf '\n(exit code %d)\n' "$code"
rule "The machine after the installation"
"$winsim" show "$machine"

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
