#!/usr/bin/env bash
# The package and the signing, checked on Linux (make test runs this):
#   1. Vormo.msi built from the sample distribution: its custom actions, their
#      order and conditions, properties, upgrade rule, remembered values, folder
#      and files;
#   2. signing with a throwaway certificate: the signed package and the signed
#      programs in it verify; one changed byte fails verification; an unsigned
#      build has no signature.
# Needs build/windows (make windows), wixl, msitools, osslsigncode and openssl.
set -euo pipefail
source "$(dirname "$0")/../wine/lib.sh"
WORK=${PACKAGING_WORK:-$ROOT/build/packaging}
# Only the throwaway certificate below signs anything here.
unset SIGN_PFX SIGN_CERT SIGN_KEY SIGN_PASSWORD_FILE SIGN_TIMESTAMP SIGN_DESCRIPTION SIGN_URL
GUIDE="$ROOT/docs/deployment.md"
for tool in wixl msiinfo msiextract osslsigncode openssl; do
  command -v "$tool" >/dev/null 2>&1 || die "$tool is not installed (scripts/setup.sh)"
done
rm -rf "$WORK"
mkdir -p "$WORK"

package="$WORK/unsigned/Vormo.msi"
bash "$ROOT/packaging/build-msi.sh" -o "$package" >/dev/null

# A table without its three heading lines.
table() { msiinfo export "$package" "$1" | tail -n +4 | tr -d '\r'; }
property() { table Property | awk -F'\t' -v p="$1" '$1 == p { print $2 }'; }
sequence_of() { table InstallExecuteSequence | awk -F'\t' -v a="$1" '$1 == a { print $3 }'; }

# ---- 1. the tables ----
CURRENT_SCENARIO="tables"

check_eq "custom actions: Action Type Source Target" "$(LC_ALL=C sort <<'TABLE'
RestoreEdition	2099	EDITION	[SAVEDEDITION]
RestoreServer	2099	SERVER	[SAVEDSERVER]
RestoreLogFile	2099	LOGFILE	[SAVEDLOGFILE]
SwitchEnterprise	2099	VORMOARGS	[VORMOARGS] -a
SwitchRegistry	2099	VORMOARGS	[VORMOARGS] -r
SwitchIniFile	2099	VORMOARGS	[VORMOARGS] "-i[INIFILE]"
SwitchNoCopy	2099	VORMOARGS	[VORMOARGS] -c
SwitchIgnoreErrors	2099	VORMOARGS	[VORMOARGS] -e
SwitchLogFile	2099	VORMOARGS	[VORMOARGS] "-l[LOGFILE]"
SwitchServer	2099	VORMOARGS	[VORMOARGS] "[SERVER]"
RunInstall	3090	InstallExe	[VORMOARGS]
RunUninstall	3090	InstallExe	-u[VORMOARGS]
RunUninstallIgnoringErrors	3154	InstallExe	-u[VORMOARGS]
TABLE
)" "$(table CustomAction | cut -f1-4 | LC_ALL=C sort)"

check_eq "conditions of the custom actions" "$(LC_ALL=C sort <<'TABLE'
RestoreEdition	SAVEDEDITION AND NOT EDITION
RestoreServer	SAVEDSERVER AND NOT SERVER
RestoreLogFile	SAVEDLOGFILE AND NOT LOGFILE
SwitchEnterprise	EDITION~="Enterprise"
SwitchRegistry	CONFIG~="Registry"
SwitchIniFile	INIFILE
SwitchNoCopy	NOCOPY="1"
SwitchIgnoreErrors	IGNOREERRORS="1"
SwitchLogFile	LOGFILE
SwitchServer	SERVER
RunInstall	NOT REMOVE
RunUninstall	REMOVE="ALL" AND IGNOREERRORS<>"1"
RunUninstallIgnoringErrors	REMOVE="ALL" AND IGNOREERRORS="1"
TABLE
)" "$(table InstallExecuteSequence | grep -E '^(Restore|Switch|Run)' | cut -f1-2 | LC_ALL=C sort)"

# Order: remembered values, then the switches, both before the launch
# conditions; an older version removed before this one starts; Install.exe -u
# before the package's files go, Install.exe after they are in place.
in_order() {
  local previous=-1 action seq
  for action in "$@"; do
    seq=$(sequence_of "$action")
    [ -n "$seq" ] && [ "$seq" -gt "$previous" ] || return 1
    previous=$seq
  done
}
check "sequence: AppSearch, remembered values, switches, LaunchConditions" in_order AppSearch RestoreEdition \
  RestoreServer RestoreLogFile SwitchEnterprise SwitchRegistry SwitchIniFile SwitchNoCopy SwitchIgnoreErrors \
  SwitchLogFile SwitchServer LaunchConditions
check "sequence: RemoveExistingProducts between InstallValidate and InstallInitialize" in_order InstallValidate \
  RemoveExistingProducts InstallInitialize
check "sequence: Install.exe -u before RemoveFiles" in_order InstallInitialize RunUninstall RunUninstallIgnoringErrors RemoveFiles
check "sequence: Install.exe after InstallFiles" in_order InstallFiles RunInstall InstallFinalize

# The product: names for the ARP entry, the version of Install.exe, the codes
# the guide gives for detection and upgrades.
rc_version=$(sed -n 's/^ *VALUE "FileVersion", "\(.*\)"/\1/p' "$ROOT/res/Install.rc")
check_eq "ProductVersion is Install.exe's version" "$rc_version" "$(property ProductVersion)"
check_eq "ProductName" "Vormo Port Monitor" "$(property ProductName)"
check_eq "Manufacturer" "Oxlen Corporation" "$(property Manufacturer)"
check_eq "per-machine" 1 "$(property ALLUSERS)"
for code in ProductCode UpgradeCode; do
  check "the guide names the $code $(property $code)" grep -qF "$(property $code)" "$GUIDE"
done
secure=";$(property SecureCustomProperties);"
for p in EDITION CONFIG INIFILE SERVER NOCOPY IGNOREERRORS LOGFILE SAVEDEDITION SAVEDSERVER SAVEDLOGFILE; do
  check "$p is a secure property" grep -qF ";$p;" <<<"$secure"
done
check_eq "32-bit package" "Intel;1033" "$(msiinfo suminfo "$package" | sed -n 's/^Template: //p')"

# Major upgrade: older versions removed, a newer one refuses this package.
upgrade=$(property UpgradeCode)
check_eq "upgrade rule: UpgradeCode VersionMin VersionMax Attributes Property" "$(printf '%s\t\t%s\t1\tWIX_UPGRADE_DETECTED\n%s\t%s\t\t2\tWIX_DOWNGRADE_DETECTED' \
  "$upgrade" "$rc_version" "$upgrade" "$rc_version")" "$(table Upgrade | awk -F'\t' -v OFS='\t' '{ print $1, $2, $3, $5, $7 }')"
check "a newer version stops the installation" grep -q '^NOT WIX_DOWNGRADE_DETECTED' <(table LaunchCondition)
for c in 'NOT EDITION OR EDITION~="Standard" OR EDITION~="Enterprise"' 'NOT CONFIG OR CONFIG~="Ini" OR CONFIG~="Registry"'; do
  check "launch condition $c" grep -qF "$c" <(table LaunchCondition)
done

# Remembered values: each one read back from the key and value it is written to.
saved_key='SOFTWARE\Oxlen Corporation\Vormo Port Monitor Setup'
for pair in EDITION:Edition SERVER:Server LOGFILE:LogFile; do
  prop=${pair%%:*} name=${pair#*:}
  sig=$(table AppSearch | awk -F'\t' -v p="SAVED$prop" '$1 == p { print $2 }')
  check_eq "SAVED$prop read from HKLM (raw)" "2	$saved_key	$name	2" \
    "$(table RegLocator | awk -F'\t' -v OFS='\t' -v s="$sig" '$1 == s { print $2, $3, $4, $5 }')"
  check_eq "$prop written to HKLM" "2	$saved_key	$name	[$prop]" \
    "$(table Registry | awk -F'\t' -v OFS='\t' -v n="$name" '$4 == n { print $2, $3, $4, $5 }')"
done

# The folder of its own below Program Files, Install.exe in it under the file
# key the custom actions name, and exactly the distribution's files.
check_eq "folders: ProgramFilesFolder\\Oxlen\\Vormo Port Monitor Setup" \
  "OXLENFOLDER	ProgramFilesFolder	Oxlen INSTALLDIR	OXLENFOLDER	Vormo Port Monitor Setup" \
  "$(table Directory | grep -E '^(OXLENFOLDER|INSTALLDIR)	' | paste -sd ' ')"
check_eq "Install.exe in INSTALLDIR" "InstallExe	Install.exe	INSTALLDIR" \
  "$(join -t $'\t' -1 2 -2 1 -o 1.1,1.3,2.3 <(table File | LC_ALL=C sort -t $'\t' -k2,2) \
      <(table Component | LC_ALL=C sort -t $'\t' -k1,1) | grep '^InstallExe	')"
expected="$WORK/expected"
lay_distribution "$expected"
[ -f "$WINDOWS_BUILD/VormoCheck.exe" ] && cp "$WINDOWS_BUILD/VormoCheck.exe" "$expected/"
msiextract -C "$WORK/extracted" "$package" >/dev/null
packed="$WORK/extracted/Program Files/Oxlen/Vormo Port Monitor Setup"
if diff -r "$expected" "$packed" >"$WORK/files.diff"; then
  pass
else
  fail "the package's files differ from the distribution:"
  head -20 "$WORK/files.diff" | sed 's/^/      /'
fi
echo "  $([ "$CHECKS_FAILED" = 0 ] && echo 'ok  ' || echo FAIL) Vormo.msi: tables and files ($CHECKS_PASSED checks)"

# ---- 2. signing ----
CURRENT_SCENARIO="signing"
failed_before=$CHECKS_FAILED passed_before=$CHECKS_PASSED
keys="$WORK/keys"
mkdir -p "$keys"
openssl req -x509 -newkey rsa:2048 -nodes -subj "/CN=Vormo Test Signing" -days 2 \
  -keyout "$keys/key.pem" -out "$keys/cert.pem" >/dev/null 2>&1 || die "openssl cannot make a certificate"
printf 'throwaway' >"$keys/password"
openssl pkcs12 -export -inkey "$keys/key.pem" -in "$keys/cert.pem" -passout "file:$keys/password" \
  -out "$keys/cert.pfx" >/dev/null 2>&1 || die "openssl cannot make a PFX file"

verifies() { osslsigncode verify -CAfile "$keys/cert.pem" -in "$1" >/dev/null 2>&1; }
fails_verification() { ! verifies "$1"; }
no_signature() { ! osslsigncode extract-signature -in "$1" -out "$WORK/signature.tmp" >/dev/null 2>&1; }

# Changes one letter of the first occurrence of TEXT in FILE.
change_byte() {
  local file=$1 text=$2 offset byte
  offset=$(grep -obaF -- "$text" "$file" | head -n 1 | cut -d: -f1)
  [ -n "$offset" ] || return 1
  byte=$(tail -c +"$((offset + 1))" "$file" | head -c 1 | tr 'A-Za-z' 'B-ZAb-za')
  printf '%s' "$byte" | dd of="$file" bs=1 seek="$offset" conv=notrunc status=none
}

check "unsigned by default" no_signature "$package"

# A signed package (PEM pair): the package and the programs in it.
signed="$WORK/signed/Vormo.msi"
SIGN_CERT="$keys/cert.pem" SIGN_KEY="$keys/key.pem" bash "$ROOT/packaging/build-msi.sh" -s -o "$signed" >/dev/null
check "signed package verifies" verifies "$signed"
msiextract -C "$WORK/signed/extracted" "$signed" >/dev/null
for f in Install.exe VormoCheck.exe; do
  [ -f "$expected/$f" ] || continue
  check "$f in the signed package verifies" verifies "$WORK/signed/extracted/Program Files/Oxlen/Vormo Port Monitor Setup/$f"
done

# A program signed in place (PFX with a password), signed twice.
cp "$WINDOWS_BUILD/Install.exe" "$WORK/signed/Install.exe"
for round in 1 2; do
  SIGN_PFX="$keys/cert.pfx" SIGN_PASSWORD_FILE="$keys/password" bash "$ROOT/packaging/sign.sh" "$WORK/signed/Install.exe" >/dev/null
done
check "Install.exe signed twice verifies" verifies "$WORK/signed/Install.exe"
check_eq "Install.exe signed twice has one signature" 1 \
  "$(osslsigncode verify -CAfile "$keys/cert.pem" -in "$WORK/signed/Install.exe" 2>/dev/null | grep -c '^Signature Index')"

# One changed byte: a letter of a message in the program, of a folder name in
# the package's string pool.
cp "$WORK/signed/Install.exe" "$WORK/signed/Install-changed.exe"
cp "$signed" "$WORK/signed/Vormo-changed.msi"
check "a byte of Install.exe changed" change_byte "$WORK/signed/Install-changed.exe" "Sucessfully"
check "a byte of the package changed" change_byte "$WORK/signed/Vormo-changed.msi" "Vormo Port Monitor Setup"
check "changed Install.exe fails verification" fails_verification "$WORK/signed/Install-changed.exe"
check "changed package fails verification" fails_verification "$WORK/signed/Vormo-changed.msi"

echo "  $([ "$CHECKS_FAILED" = "$failed_before" ] && echo 'ok  ' || echo FAIL) signing: self-signed certificate, PEM pair and PFX ($((CHECKS_PASSED - passed_before)) checks)"
echo "packaging: $CHECKS_PASSED checks passed, $CHECKS_FAILED failed"
[ "$CHECKS_FAILED" = 0 ]
