#!/usr/bin/env bash
# The package and the signing, checked on Linux (make test runs this). What
# the package does is shown under Wine (tests/wine/msi.sh); here only what
# Wine cannot show:
#   1. Vormo.msi built from the sample distribution: the custom actions that
#      change the machine run deferred and as the local system; the public
#      properties reach the server side of an elevated installation; one
#      product code per version, derived from it, under one upgrade code, as
#      the deployment guide gives them;
#   2. signing with throwaway certificates: the signed package, the programs
#      and the custom action DLL in it verify; one changed byte fails
#      verification; a time stamp from a local authority keeps the signature
#      valid after the certificate expired; an unsigned build has no signature.
# Needs build/windows (make windows), wixl, msitools, osslsigncode and openssl.
set -euo pipefail
source "$(dirname "$0")/../wine/lib.sh"
WORK=${PACKAGING_WORK:-$ROOT/build/packaging}
# Only the throwaway certificates below sign anything here.
unset SIGN_PFX SIGN_CERT SIGN_KEY SIGN_PASSWORD_FILE SIGN_TIMESTAMP SIGN_TSA_CERT SIGN_TSA_KEY SIGN_DESCRIPTION SIGN_URL
GUIDE="$ROOT/docs/deployment.md"
for tool in wixl msiinfo msiextract osslsigncode openssl; do
  command -v "$tool" >/dev/null 2>&1 || die "$tool is not installed (scripts/setup.sh)"
done
rm -rf "$WORK"
mkdir -p "$WORK"

package="$WORK/unsigned/Vormo.msi"
bash "$ROOT/packaging/build-msi.sh" -o "$package" >/dev/null
bash "$ROOT/packaging/build-msi.sh" -o "$WORK/unsigned/Vormo-2.26.msi" -v 2.26 >/dev/null

# A table without its three heading lines.
table() { msiinfo export "${2:-$package}" "$1" | tail -n +4 | tr -d '\r'; }
property() { table Property "${2:-$package}" | awk -F'\t' -v p="$1" '$1 == p { print $2 }'; }

# ---- 1. the tables ----
CURRENT_SCENARIO="tables"

# Deferred (1024) and without impersonation (2048), from a DLL in the Binary
# table (1): under a user's impersonation Install.exe could not register a
# monitor, and an immediate action would run before the files are in place.
for action in RunUninstaller SecureIniFile CheckBeforeInstall RunInstaller; do
  check_eq "$action: DLL, deferred, no impersonation" "3073	VormoAction" \
    "$(table CustomAction | awk -F'\t' -v OFS='\t' -v a="$action" '$1 == a { print $2, $3 }')"
done
# Without a SecureCustomProperties entry, Windows drops a property given to an
# elevated installation by a user who is no administrator.
secure=";$(property SecureCustomProperties);"
for p in EDITION CONFIG INIFILE NOCOPY IGNOREERRORS LOGFILE SERVER REDEPLOY SKIPCHECK; do
  check "$p is a secure property" grep -qF ";$p;" <<<"$secure"
done
# One product code per version, the same for the same version, one upgrade code.
rc_version=$(sed -n 's/^ *VALUE "FileVersion", "\(.*\)"/\1/p' "$ROOT/res/Install.rc")
check_eq "ProductVersion is Install.exe's version" "$rc_version" "$(property ProductVersion)"
check_eq "2.26's ProductVersion" 2.26 "$(property ProductVersion "$WORK/unsigned/Vormo-2.26.msi")"
code=$(property ProductCode)
check "2.26 has a product code of its own" test "$code" != "$(property ProductCode "$WORK/unsigned/Vormo-2.26.msi")"
check_eq "one upgrade code" "$(property UpgradeCode)" "$(property UpgradeCode "$WORK/unsigned/Vormo-2.26.msi")"
bash "$ROOT/packaging/build-msi.sh" -o "$WORK/unsigned/again.msi" >/dev/null
check_eq "the same version, the same product code" "$code" "$(property ProductCode "$WORK/unsigned/again.msi")"
for c in "$code" "$(property UpgradeCode)"; do
  check "the guide names $c" grep -qF "$c" "$GUIDE"
done
echo "  $([ "$CHECKS_FAILED" = 0 ] && echo 'ok  ' || echo FAIL) Vormo.msi: custom action types, secure properties, product codes ($CHECKS_PASSED checks)"

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
fails_later() { ! verifies_later "$1"; }
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

# A time-stamping authority of its own: its certificate must be for time
# stamping only.
openssl req -x509 -newkey rsa:2048 -nodes -subj "/CN=Vormo Test Time Stamping" -days 2 \
  -addext "extendedKeyUsage=critical,timeStamping" -keyout "$keys/tsa-key.pem" -out "$keys/tsa.pem" >/dev/null 2>&1 ||
  die "openssl cannot make a time-stamping certificate"

# A signed and time-stamped package (PEM pair): the package, the programs in
# it and the custom actions' DLL in its Binary table.
signed="$WORK/signed/Vormo.msi"
SIGN_CERT="$keys/cert.pem" SIGN_KEY="$keys/key.pem" SIGN_TSA_CERT="$keys/tsa.pem" SIGN_TSA_KEY="$keys/tsa-key.pem" \
  bash "$ROOT/packaging/build-msi.sh" -s -o "$signed" >/dev/null
check "signed package verifies" verifies "$signed"
msiextract -C "$WORK/signed/extracted" "$signed" >/dev/null
for f in Install.exe VormoCheck.exe; do
  check "$f in the signed package verifies" verifies "$WORK/signed/extracted/Program Files/Oxlen/Vormo Port Monitor Setup/$f"
done
msiinfo extract "$signed" Binary.VormoAction >"$WORK/signed/VormoAction.dll"
check "VormoAction.dll in the signed package verifies" verifies "$WORK/signed/VormoAction.dll"

# Ten days on, the two-day certificate has expired: the time-stamped package
# still verifies (at its time stamp), a package signed without one does not.
later=$(($(date +%s) + 10 * 86400))
verifies_later() { osslsigncode verify -CAfile "$keys/cert.pem" -TSA-CAfile "$keys/tsa.pem" -time "$later" -in "$1" >/dev/null 2>&1; }
check "the time-stamped package verifies after the certificate expired" verifies_later "$signed"
SIGN_CERT="$keys/cert.pem" SIGN_KEY="$keys/key.pem" bash "$ROOT/packaging/sign.sh" "$WORK/unsigned/again.msi" >/dev/null
check "a package without a time stamp does not" fails_later "$WORK/unsigned/again.msi"

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

echo "  $([ "$CHECKS_FAILED" = "$failed_before" ] && echo 'ok  ' || echo FAIL) signing: self-signed certificate, PEM pair and PFX, local time stamp ($((CHECKS_PASSED - passed_before)) checks)"
echo "packaging: $CHECKS_PASSED checks passed, $CHECKS_FAILED failed"
[ "$CHECKS_FAILED" = 0 ]
