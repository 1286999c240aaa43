#!/usr/bin/env bash
# Signs Windows programs and packages with Authenticode (osslsigncode), in place:
#   sign.sh [FILE...]
# Without FILEs: build/windows/Install.exe, and VormoCheck.exe when it is built.
# The certificate, from the environment:
#   SIGN_PFX=file.pfx                  a PKCS#12 file with the key and the chain, or
#   SIGN_CERT=cert.pem SIGN_KEY=key.pem  the certificate (chain) and its key as PEM
#   SIGN_PASSWORD_FILE=file            the password of the PFX or of the key, if any
#   SIGN_TIMESTAMP=url                 an RFC 3161 time-stamping service (none by default), or
#   SIGN_TSA_CERT=tsa.pem SIGN_TSA_KEY=tsa-key.pem
#                                      a time-stamping authority's own certificate (chain)
#                                      and key, used here without a network (an
#                                      organisation's own TSA, or a test's)
#   SIGN_DESCRIPTION, SIGN_URL         shown with the signature
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
die() { echo "sign: $*" >&2; exit 1; }
command -v osslsigncode >/dev/null 2>&1 || die "osslsigncode is not installed (Debian: osslsigncode)"

if [ $# -eq 0 ]; then
  set -- "$ROOT/build/windows/Install.exe"
  [ -f "$ROOT/build/windows/VormoCheck.exe" ] && set -- "$@" "$ROOT/build/windows/VormoCheck.exe"
fi

key=()
if [ -n "${SIGN_PFX:-}" ]; then
  [ -f "$SIGN_PFX" ] || die "no certificate file $SIGN_PFX"
  key=(-pkcs12 "$SIGN_PFX")
elif [ -n "${SIGN_CERT:-}" ] && [ -n "${SIGN_KEY:-}" ]; then
  [ -f "$SIGN_CERT" ] || die "no certificate file $SIGN_CERT"
  [ -f "$SIGN_KEY" ] || die "no key file $SIGN_KEY"
  key=(-certs "$SIGN_CERT" -key "$SIGN_KEY")
else
  die "no certificate: set SIGN_PFX, or SIGN_CERT and SIGN_KEY"
fi
if [ -n "${SIGN_PASSWORD_FILE:-}" ]; then
  [ -f "$SIGN_PASSWORD_FILE" ] || die "no password file $SIGN_PASSWORD_FILE"
  key+=(-readpass "$SIGN_PASSWORD_FILE")
fi
extra=(-h sha256 -n "${SIGN_DESCRIPTION:-Vormo Port Monitor}")
[ -n "${SIGN_URL:-}" ] && extra+=(-i "$SIGN_URL")
if [ -n "${SIGN_TIMESTAMP:-}" ]; then
  extra+=(-ts "$SIGN_TIMESTAMP")
elif [ -n "${SIGN_TSA_CERT:-}" ] || [ -n "${SIGN_TSA_KEY:-}" ]; then
  [ -f "${SIGN_TSA_CERT:-}" ] || die "no time-stamping certificate file ${SIGN_TSA_CERT:-} (SIGN_TSA_CERT)"
  [ -f "${SIGN_TSA_KEY:-}" ] || die "no time-stamping key file ${SIGN_TSA_KEY:-} (SIGN_TSA_KEY)"
  extra+=(-TSA-certs "$SIGN_TSA_CERT" -TSA-key "$SIGN_TSA_KEY")
fi

for file in "$@"; do
  [ -f "$file" ] || die "no file $file"
  signed="$file.signed.tmp"
  rm -f "$signed"
  # A file signed before is signed afresh: its old signature goes first.
  source_file=$file
  if osslsigncode extract-signature -in "$file" -out "$file.sig.tmp" >/dev/null 2>&1; then
    osslsigncode remove-signature -in "$file" -out "$file.unsigned.tmp" >/dev/null || die "cannot remove the signature of $file"
    source_file="$file.unsigned.tmp"
  fi
  rm -f "$file.sig.tmp"
  if ! osslsigncode sign "${key[@]}" "${extra[@]}" -in "$source_file" -out "$signed" >"$signed.log" 2>&1; then
    cat "$signed.log" >&2
    rm -f "$signed" "$signed.log" "$file.unsigned.tmp"
    die "cannot sign $file"
  fi
  rm -f "$signed.log" "$file.unsigned.tmp"
  mv -f "$signed" "$file"
  echo "signed $file"
done
