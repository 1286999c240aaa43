#!/usr/bin/env bash
# Builds Vormo.msi from a distribution folder with wixl:
#   build-msi.sh [-d DIST] [-o PACKAGE] [-s]
# -d  the distribution folder; by default the repository's sample distribution
#     (dist/) with the stand-ins of build/windows/standins/ in place of its
#     placeholder programs
# -o  the package to write (default build/windows/Vormo.msi)
# -s  sign Install.exe, VormoCheck.exe and the package (packaging/sign.sh; the
#     certificate comes from SIGN_PFX or SIGN_CERT and SIGN_KEY)
# Install.exe, and VormoCheck.exe when it is built, come from the Windows build
# (WINDOWS_BUILD, default build/windows) and replace any of that name in DIST.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
WINDOWS_BUILD=${WINDOWS_BUILD:-$ROOT/build/windows}
dist="" out="$WINDOWS_BUILD/Vormo.msi" sign=0
while getopts 'd:o:s' opt; do
  case $opt in
    d) dist=$OPTARG ;;
    o) out=$OPTARG ;;
    s) sign=1 ;;
    *) echo "usage: build-msi.sh [-d DIST] [-o PACKAGE] [-s]" >&2; exit 2 ;;
  esac
done
die() { echo "build-msi: $*" >&2; exit 1; }
for tool in wixl wixl-heat msibuild; do
  command -v "$tool" >/dev/null 2>&1 || die "$tool is not installed (Debian: wixl, msitools)"
done
[ -f "$WINDOWS_BUILD/Install.exe" ] || die "no $WINDOWS_BUILD/Install.exe (make windows)"

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
cp "$WINDOWS_BUILD/Install.exe" "$stage/"
[ -f "$WINDOWS_BUILD/VormoCheck.exe" ] && cp "$WINDOWS_BUILD/VormoCheck.exe" "$stage/"
if [ "$sign" = 1 ]; then
  programs=("$stage/Install.exe")
  [ -f "$stage/VormoCheck.exe" ] && programs+=("$stage/VormoCheck.exe")
  bash "$ROOT/packaging/sign.sh" "${programs[@]}"
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
(cd "$work" && wixl --arch x86 -D StageDir=stage -o package.msi "$ROOT/packaging/Vormo.wxs" files.wxs)
mv "$work/package.msi" "$out"

# The properties an administrator passes on the command line reach the
# installation's script also when msiexec runs elevated for a user who is no
# administrator (wixl has no Secure attribute for them).
secure="EDITION;CONFIG;INIFILE;NOCOPY;IGNOREERRORS;LOGFILE;SERVER;SAVEDEDITION;SAVEDSERVER;SAVEDLOGFILE"
current=$(msiinfo export "$out" Property | awk -F'\t' '$1 == "SecureCustomProperties" { print $2 }')
msibuild "$out" -q "UPDATE \`Property\` SET \`Value\` = '$current;$secure' WHERE \`Property\` = 'SecureCustomProperties'"

if [ "$sign" = 1 ]; then bash "$ROOT/packaging/sign.sh" "$out"; fi
rm -rf "$work"
echo "$out"
