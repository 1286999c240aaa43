#!/usr/bin/env bash
# Builds Vormo.msi from a distribution folder with wixl:
#   build-msi.sh [-d DIST] [-o PACKAGE] [-v VERSION] [-p PRODUCTCODE] [-s]
# -d  the distribution folder; by default the repository's sample distribution
#     (dist/) with the stand-ins of build/windows/standins/ in place of its
#     placeholder programs
# -o  the package to write (default build/windows/Vormo.msi)
# -v  the package's version, major.minor[.build] (default: Install.exe's, from
#     res/Install.rc)
# -p  the product code; by default one derived from the version (a name-based
#     UUID under the upgrade code), so that each version has its own and the
#     same version always the same
# -s  sign Install.exe, VormoCheck.exe and the package (packaging/sign.sh; the
#     certificate comes from SIGN_PFX or SIGN_CERT and SIGN_KEY)
# Install.exe and VormoCheck.exe come from the Windows build (WINDOWS_BUILD,
# default build/windows) and replace any of that name in DIST; the custom
# actions' VormoAction.dll comes from there too.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
WINDOWS_BUILD=${WINDOWS_BUILD:-$ROOT/build/windows}
UPGRADE_CODE='{9D704F96-1C28-433E-86BF-8E1AD6B2E27D}'
dist="" out="$WINDOWS_BUILD/Vormo.msi" sign=0 version="" product_code=""
while getopts 'd:o:v:p:s' opt; do
  case $opt in
    d) dist=$OPTARG ;;
    o) out=$OPTARG ;;
    v) version=$OPTARG ;;
    p) product_code=$OPTARG ;;
    s) sign=1 ;;
    *) echo "usage: build-msi.sh [-d DIST] [-o PACKAGE] [-v VERSION] [-p PRODUCTCODE] [-s]" >&2; exit 2 ;;
  esac
done
die() { echo "build-msi: $*" >&2; exit 1; }
for tool in wixl wixl-heat msibuild msiinfo sha1sum; do
  command -v "$tool" >/dev/null 2>&1 || die "$tool is not installed (Debian: wixl, msitools)"
done
for f in Install.exe VormoCheck.exe VormoAction.dll; do
  [ -f "$WINDOWS_BUILD/$f" ] || die "no $WINDOWS_BUILD/$f (make windows)"
done

# A name-based UUID (version 5): the SHA-1 of the namespace's 16 bytes and
# the name, with the version and variant bits set.
uuid5() {
  local namespace=${1//[-\{\}]/} name=$2 hex byte6 byte8
  hex=$({ printf "$(sed 's/../\\x&/g' <<<"$namespace")"; printf '%s' "$name"; } | sha1sum | cut -c1-32)
  byte6=$(((16#${hex:12:2} & 0x0f) | 0x50))
  byte8=$(((16#${hex:16:2} & 0x3f) | 0x80))
  hex=${hex:0:12}$(printf %02x $byte6)${hex:14:2}$(printf %02x $byte8)${hex:18}
  printf '{%s-%s-%s-%s-%s}\n' "${hex:0:8}" "${hex:8:4}" "${hex:12:4}" "${hex:16:4}" "${hex:20:12}" | tr a-f A-F
}

[ -n "$version" ] || version=$(sed -n 's/^ *VALUE "FileVersion", "\(.*\)"/\1/p' "$ROOT/res/Install.rc")
# Windows Installer compares major (up to 255), minor (255) and build (65535).
[[ "$version" =~ ^([0-9]{1,3})\.([0-9]{1,3})(\.([0-9]{1,5}))?$ ]] &&
  [ "${BASH_REMATCH[1]}" -le 255 ] && [ "${BASH_REMATCH[2]}" -le 255 ] && [ "${BASH_REMATCH[4]:-0}" -le 65535 ] ||
  die "version $version is not major.minor[.build] (at most 255.255.65535)"
[ -n "$product_code" ] || product_code=$(uuid5 "$UPGRADE_CODE" "Vormo Port Monitor $version")
[[ "$product_code" =~ ^\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}$ ]] ||
  die "product code $product_code is not a GUID in braces and capitals"

work="$out.work"
stage="$work/stage"
rm -rf "$work"
mkdir -p "$stage"
if [ -n "$dist" ]; then
  [ -d "$dist" ] || die "no distribution folder $dist"
  cp -r "$dist/." "$stage/"
else
  cp -r "$ROOT/dist/." "$stage/"
  [ -d "$WINDOWS_BUILD/standins" ] || die "no stand-ins in $WINDOWS_BUILD/standins (make windows)"
  for f in "$stage"/*; do
    name=$(basename "$f")
    if [ -f "$f" ] && [ -f "$WINDOWS_BUILD/standins/$name" ]; then cp "$WINDOWS_BUILD/standins/$name" "$f"; fi
  done
fi
# Files of the folder may be read-only; the package's copies must not be.
chmod -R u+w "$stage"
rm -f "$stage/Install.exe" "$stage/VormoCheck.exe"
cp "$WINDOWS_BUILD/Install.exe" "$WINDOWS_BUILD/VormoCheck.exe" "$stage/"
cp "$WINDOWS_BUILD/VormoAction.dll" "$work/"
if [ "$sign" = 1 ]; then
  bash "$ROOT/packaging/sign.sh" "$stage/Install.exe" "$stage/VormoCheck.exe" "$work/VormoAction.dll"
fi

# Every file but Install.exe (which the WiX source names itself), one
# component each, below INSTALLDIR; the folder's own files first, so that they
# share one directory entry.
{ find "$stage" -maxdepth 1 -type f ! -path "$stage/Install.exe" | LC_ALL=C sort
  find "$stage" -mindepth 2 -type f | LC_ALL=C sort; } |
  wixl-heat --prefix "$stage/" --directory-ref INSTALLDIR --component-group DistFiles --var var.StageDir >"$work/files.wxs"
mkdir -p "$(dirname "$out")"
rm -f "$out"
# wixl finds sources relative to its working folder only.
(cd "$work" && wixl --arch x86 -D StageDir=stage -D ActionDll=VormoAction.dll -D Version="$version" \
  -D ProductCode="$product_code" -o package.msi "$ROOT/packaging/Vormo.wxs" files.wxs)
mv "$work/package.msi" "$out"

# The properties an administrator passes on the command line reach the
# installation's script also when msiexec runs elevated for a user who is no
# administrator (wixl has no Secure attribute for them).
secure="EDITION;CONFIG;INIFILE;NOCOPY;IGNOREERRORS;LOGFILE;SERVER;REDEPLOY;SKIPCHECK"
current=$(msiinfo export "$out" Property | awk -F'\t' '$1 == "SecureCustomProperties" { print $2 }')
msibuild "$out" -q "UPDATE \`Property\` SET \`Value\` = '$current;$secure' WHERE \`Property\` = 'SecureCustomProperties'"

if [ "$sign" = 1 ]; then bash "$ROOT/packaging/sign.sh" "$out"; fi
rm -rf "$work"
echo "$out"
