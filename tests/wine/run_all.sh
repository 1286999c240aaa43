#!/usr/bin/env bash
# Every test of the Windows build under Wine, as `make test` runs them:
#   1. what the build must be: imports, subsystem, manifest, version resource;
#   2. two fresh Wine prefix templates, 32-bit and 64-bit (WOW64), booted once;
#   3. the conformance checks in both prefixes;
#   4. the installer's scenarios in both prefixes (the two run side by side);
#   5. Vormo.msi installed and removed with msiexec (msi.sh, beside them);
#   6. a capture under Wine rebuilt in winsim, the same runs on both and their
#      captures compared (capture.sh, beside them).
# Needs build/windows (cmake --preset windows) and the host build for the
# comparisons (HOST_BUILD, by default build/host). Fails when Wine is missing.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
require_wine
[ -x "$HOST_BUILD/winsim" ] || die "no host build in $HOST_BUILD (cmake --preset host && cmake --build build/host)"

started=$(date +%s)
status=0

# ---- 1. the build ----
OBJDUMP=${OBJDUMP:-i686-w64-mingw32-objdump}
command -v "$OBJDUMP" >/dev/null 2>&1 || die "$OBJDUMP is not installed (mingw-w64)"
build_ok=1
for program in Install VormoCheck; do
  exe="$WINDOWS_BUILD/$program.exe"
  headers=$("$OBJDUMP" -p "$exe")
  imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'a-z' 'A-Z' | sort | paste -sd ' ')
  if [ "$imports" != "ADVAPI32.DLL KERNEL32.DLL MSVCRT.DLL WINSPOOL.DRV" ]; then
    echo "  FAIL $program.exe imports $imports (allowed: ADVAPI32.DLL KERNEL32.DLL MSVCRT.DLL WINSPOOL.DRV)"
    awk '/DLL Name:/ { dll = $3 } /^\t[ 0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ { print "       " dll ": " $3 }' <<<"$headers" |
      grep -viE ' (ADVAPI32|KERNEL32|msvcrt)\.dll:|WINSPOOL\.DRV:' || true
    build_ok=0
  fi
  grep -q 'Subsystem.*Windows CUI' <<<"$headers" || { echo "  FAIL $program.exe is not a console program"; build_ok=0; }
  grep -q '^Magic.*010b' <<<"$headers" || { echo "  FAIL $program.exe is not a 32-bit program"; build_ok=0; }
  manifest=$(strings -n 8 "$exe" | tr -d '\r' | sed -n '/<assembly/,/<\/assembly>/p')
  for id in e2011457-1546-43c5-a5fe-008deee3d3f0 35138b9a-5d96-4fbd-8e2d-a2440225f93a \
    4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 1f676c76-80e1-4239-95bb-83d0f6d0da78; do
    grep -qi "supportedOS Id=\"{$id}\"" <<<"$manifest" || { echo "  FAIL the manifest of $program.exe lacks supportedOS $id"; build_ok=0; }
done
# No Windows after 8.1: programs that list Windows 10 are told the truth about it.
[ "$(grep -ci 'supportedOS' <<<"$manifest")" = 4 ] || { echo "  FAIL the manifest of $program.exe lists a supportedOS beyond 8.1"; build_ok=0; }
grep -q 'level="requireAdministrator"' <<<"$manifest" || { echo "  FAIL the manifest of $program.exe does not require administrator rights"; build_ok=0; }
version=$(strings -el "$exe" | paste -sd '|')
for text in "FileVersion|2.25" "ProductVersion|2.25" "CompanyName|Oxlen Corporation" "ProductName|Vormo Port Monitor Installer"; do
  grep -qF "$text" <<<"$version" || { echo "  FAIL the version resource of $program.exe lacks $text"; build_ok=0; }
done
done
if [ "$build_ok" = 1 ]; then
  echo "  ok   Install.exe and VormoCheck.exe: imports, console subsystem, manifest and version resource"
else
  status=1
fi

# ---- 2. the templates, booted side by side ----
rm -rf "$WINE_WORK/run" "$WINE_WORK/out" "$WINE_WORK/host"
mkdir -p "$WINE_WORK"
for arch in win32 win64; do
  (make_template "$arch") >"$WINE_WORK/template-$arch.log" 2>&1 &
done
template_failed=0
for job in $(jobs -p); do wait "$job" || template_failed=1; done
for arch in win32 win64; do
  if [ ! -f "$(template_dir "$arch")/.sealed" ]; then
    cat "$WINE_WORK/template-$arch.log" >&2
    template_failed=1
  fi
  rm -f "$WINE_WORK/template-$arch.log"
done
[ "$template_failed" = 0 ] || die "the Wine prefixes could not be made"
echo "  ok   Wine prefixes booted ($(($(date +%s) - started))s)"

# ---- 3. conformance ----
WINE_REUSE_TEMPLATES=1 bash "$WINE_TESTS_DIR/run_conformance.sh" || status=1

# ---- 4. scenarios, one architecture per job; 5. the package and 6. the capture beside them ----
for arch in win32 win64; do
  bash "$WINE_TESTS_DIR/scenarios.sh" "$arch" >"$WINE_WORK/scenarios-$arch.log" 2>&1 &
  eval "job_$arch=$!"
done
bash "$WINE_TESTS_DIR/msi.sh" >"$WINE_WORK/msi.log" 2>&1 &
job_msi=$!
bash "$WINE_TESTS_DIR/capture.sh" >"$WINE_WORK/capture.log" 2>&1 &
job_capture=$!
for arch in win32 win64 msi capture; do
  job="job_$arch"
  wait "${!job}" || status=1
  case "$arch" in
    msi | capture) cat "$WINE_WORK/$arch.log" ;;
    *) cat "$WINE_WORK/scenarios-$arch.log" ;;
  esac
done

for arch in win32 win64; do check_template_untouched "$arch"; done

echo "Wine tests: $([ "$status" = 0 ] && echo passed || echo FAILED) in $(($(date +%s) - started))s"
exit $status
