# Shared ground of the Wine tests: Wine prefixes, the distribution in C:\Dist,
# running programs inside a prefix, and the checks. Sourced, not run.
#
# Prefixes: one template per architecture (win32, win64) is booted once per run
# under build/wine/ and prepared (the .NET Framework 2.0 key, the helper, two
# printers); each scenario works on a copy of its own. The copy hard-links the
# template's system files (they are only read) and copies everything else, so
# that a copy costs milliseconds instead of a gigabyte.

WINE_TESTS_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT=$(cd "$WINE_TESTS_DIR/../.." && pwd)
WINDOWS_BUILD=${WINDOWS_BUILD:-$ROOT/build/windows}
HOST_BUILD=${HOST_BUILD:-$ROOT/build/host}
WINE_WORK=${WINE_WORK:-$ROOT/build/wine}

export WINEDEBUG=-all
# No Mono or Gecko downloads; no menu entries written outside the prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY

# Printers every template holds: NAME=PORT. The sample Vormo.ini assigns the
# first to section 1 and the second to section 2.
TEMPLATE_PRINTERS=("Office Laser=LPT1:" "Front Desk=LPT2:")

die() {
  echo "wine tests: $*" >&2
  exit 1
}

# Wine is required: a machine without it fails the tests, it does not skip them.
require_wine() {
  local tool
  for tool in wine wineboot wineserver; do
    command -v "$tool" >/dev/null 2>&1 || die "$tool is not installed (Debian: dpkg --add-architecture i386; apt-get install wine wine32:i386 wine64)"
  done
  [ -x "$WINDOWS_BUILD/Install.exe" ] || die "no $WINDOWS_BUILD/Install.exe (cmake --preset windows && cmake --build build/windows)"
  [ -x "$WINDOWS_BUILD/VormoCheck.exe" ] || die "no $WINDOWS_BUILD/VormoCheck.exe"
  [ -x "$WINDOWS_BUILD/wine_helper.exe" ] || die "no $WINDOWS_BUILD/wine_helper.exe"
  local f
  for f in "${STANDIN_FILES[@]}"; do
    [ -f "$WINDOWS_BUILD/standins/$f" ] || die "no stand-in $WINDOWS_BUILD/standins/$f"
  done
}

# wine_run PREFIX PROGRAM ARGS... : runs a Windows program in the prefix.
wine_run() {
  local prefix=$1
  shift
  WINEPREFIX=$prefix wine "$@"
}

# helper PREFIX ARGS... : the helper's output, line ends made Unix ones.
helper() {
  local prefix=$1
  shift
  WINEPREFIX=$prefix wine 'C:\tools\wine_helper.exe' "$@" | tr -d '\r'
}

wine_stop() { WINEPREFIX=$1 wineserver -k >/dev/null 2>&1 || true; }
wine_wait() { WINEPREFIX=$1 wineserver -w >/dev/null 2>&1 || true; }

template_dir() { echo "$WINE_WORK/template-$1"; }

# make_template ARCH: boots a fresh prefix and prepares it.
make_template() {
  local arch=$1 dir
  dir=$(template_dir "$arch")
  rm -rf "$dir"
  mkdir -p "$WINE_WORK"
  if ! WINEPREFIX=$dir WINEARCH=$arch wineboot -i >"$WINE_WORK/boot-$arch.log" 2>&1; then
    cat "$WINE_WORK/boot-$arch.log" >&2
    die "wineboot failed for $arch"
  fi
  wine_wait "$dir"
  [ -f "$dir/system.reg" ] || die "wineboot made no registry for $arch"
  if [ "$arch" = win64 ] && [ ! -d "$dir/drive_c/windows/syswow64" ]; then
    die "the win64 prefix has no SysWOW64: is wine32 installed beside wine64?"
  fi
  mkdir -p "$dir/drive_c/tools"
  cp "$WINDOWS_BUILD/wine_helper.exe" "$dir/drive_c/tools/"
  local net='HKLM\Software\Microsoft\NET Framework Setup\NDP\v2.0.50727' args=() p
  # The .NET Framework 2.0 registers itself in both registry views.
  args+=(regset 32 "$net" Install=dword:1 -- regset 64 "$net" Install=dword:1)
  for p in "${TEMPLATE_PRINTERS[@]}"; do
    args+=(-- addprinter "${p%%=*}" "${p#*=}")
  done
  helper "$dir" "${args[@]}" >/dev/null || die "cannot prepare the $arch template"
  wine_wait "$dir"
  touch "$dir/.sealed"
}

# The template must stay as it was made: a copy that wrote through a hard link
# into one of its files would show here.
check_template_untouched() {
  local arch=$1 dir changed
  dir=$(template_dir "$arch")
  changed=$(find "$dir" -newer "$dir/.sealed" -type f ! -name .sealed | head -5)
  [ -z "$changed" ] || die "the $arch template was changed through a copy: $changed"
}

# new_prefix ARCH NAME: a fresh copy of the template; prints its folder.
new_prefix() {
  local arch=$1 name=$2 src dst
  src=$(template_dir "$arch")
  dst="$WINE_WORK/run/$arch/$name"
  rm -rf "$dst"
  mkdir -p "$(dirname "$dst")"
  cp -al "$src" "$dst"
  # Only the system folders stay linked; every other file (registry, INI
  # files, user folders) may be rewritten in place by Wine, so it is copied.
  find "$dst" -type f -links +1 \
    ! -path "$dst/drive_c/windows/system32/*" ! -path "$dst/drive_c/windows/syswow64/*" \
    ! -path "$dst/drive_c/windows/winsxs/*" -print0 |
    while IFS= read -r -d '' f; do
      cp -p "$f" "$f.copy" && mv -f "$f.copy" "$f"
    done
  # The helper as it is built now (the template may hold an older one).
  rm -f "$dst/drive_c/tools/wine_helper.exe"
  cp "$WINDOWS_BUILD/wine_helper.exe" "$dst/drive_c/tools/wine_helper.exe"
  rm -f "$dst/.sealed"
  echo "$dst"
}

# The distribution: the sample one of dist/, with the stand-ins built for
# Windows in place of its placeholder programs, and Install.exe.
STANDIN_FILES=(VORMOVS.DLL VORMOVS64.DLL VORMOE.DLL VORMOE64.DLL StopUIClients.exe "Vormo Client.exe" VormoEvent.dll)

lay_distribution() {
  local target=$1 f
  mkdir -p "$target"
  cp -r "$ROOT/dist/." "$target/"
  for f in "${STANDIN_FILES[@]}"; do
    cp "$WINDOWS_BUILD/standins/$f" "$target/$f"
  done
  cp "$WINDOWS_BUILD/Install.exe" "$target/Install.exe"
  cp "$WINDOWS_BUILD/VormoCheck.exe" "$target/VormoCheck.exe"
}

# prepare_prefix ARCH NAME: a prefix with the distribution in C:\Dist; on the
# 64-bit prefix also 32-bit copies of the 64-bit monitor DLLs in SysWOW64,
# because Wine's spooler runs inside the 32-bit installer and loads monitors
# from there (see README.md).
prepare_prefix() {
  local arch=$1 name=$2 prefix
  prefix=$(new_prefix "$arch" "$name")
  lay_distribution "$prefix/drive_c/Dist"
  if [ "$arch" = win64 ]; then
    cp "$WINDOWS_BUILD/standins/VORMOVS64.DLL" "$WINDOWS_BUILD/standins/VORMOE64.DLL" "$prefix/drive_c/windows/syswow64/"
  fi
  echo "$prefix"
}

# ---- running the installer ----

# install_run PREFIX OUT ARGS... : runs C:\Dist\Install.exe; console bytes in
# OUT, the bytes it appended to the default install log in OUT.log, the exit
# code in OUT.rc.
install_run() {
  local prefix=$1 out=$2 log before rc
  shift 2
  log="$prefix/drive_c/windows/VOPortInstall.log"
  before=0
  [ -f "$log" ] && before=$(stat -c %s "$log")
  set +e
  WINEPREFIX=$prefix wine 'C:\Dist\Install.exe' "$@" >"$out" 2>"$out.stderr"
  rc=$?
  set -e
  echo "$rc" >"$out.rc"
  if [ -f "$log" ]; then
    tail -c +"$((before + 1))" "$log" >"$out.log"
  else
    : >"$out.log"
  fi
}

# The host build against winsim: the same run on a simulated machine.
# host_machine DIR OS [winsim new options...]
host_machine() {
  local dir=$1 os=$2 p args=()
  shift 2
  rm -rf "$dir"
  for p in "${TEMPLATE_PRINTERS[@]}"; do args+=(--printer "$p"); done
  "$HOST_BUILD/winsim" new "$dir" --os "$os" --dist "$ROOT/dist" "${args[@]}" "$@" >/dev/null ||
    die "winsim new failed"
}

# host_run DIR OUT ARGS... : console bytes in OUT, exit code in OUT.rc.
# HOST_PROGRAM names another program of the distribution.
host_run() {
  local dir=$1 out=$2 rc
  shift 2
  set +e
  "$HOST_BUILD/winsim" run "$dir" "${HOST_PROGRAM:-C:\Dist\Install.exe}" "$@" >"$out" 2>"$out.stderr"
  rc=$?
  set -e
  echo "$rc" >"$out.rc"
}

# ---- checks ----

CHECKS_FAILED=0
CHECKS_PASSED=0
CURRENT_SCENARIO=""

pass() { CHECKS_PASSED=$((CHECKS_PASSED + 1)); }
fail() {
  CHECKS_FAILED=$((CHECKS_FAILED + 1))
  echo "    FAIL [$CURRENT_SCENARIO] $*"
}

# check DESCRIPTION COMMAND... : passes when the command succeeds.
check() {
  local what=$1
  shift
  if "$@" >/dev/null 2>&1; then pass; else fail "$what"; fi
}

check_eq() {
  local what=$1 expected=$2 actual=$3
  if [ "$expected" = "$actual" ]; then pass; else fail "$what: expected '$expected', got '$actual'"; fi
}

crlf_to_lf() { tr -d '\r' <"$1"; }

# check_console_like_host WINE_OUT HOST_OUT: the Windows build's console (CR LF)
# equals the host build's (LF) once the CRs are taken away, and its log got
# exactly the console bytes.
check_console_like_host() {
  local wine_out=$1 host_out=$2
  if crlf_to_lf "$wine_out" | cmp -s - "$host_out"; then
    pass
  else
    fail "console differs from the host build's (< Wine, > host):"
    diff <(crlf_to_lf "$wine_out") "$host_out" | head -20 | sed 's/^/      /'
  fi
}

# The install log got the console's bytes, except the lines that go to the
# console only (a port about to be disconnected).
check_log_is_console() {
  local out=$1 console_only=$'^  - Port .* type .* will be disconnected\r$'
  if { ! grep -aq "$console_only" "$out" && cmp -s "$out" "$out.log"; } ||
    grep -av "$console_only" "$out" | cmp -s - "$out.log"; then
    pass
  else
    fail "the install log did not receive the console bytes"
  fi
}

check_line_ends() {
  local out=$1
  if [ ! -s "$out" ] || crlf_only "$out"; then pass; else fail "console has line ends other than CR LF"; fi
}

# True when every LF in the file has a CR before it and no CR stands alone.
crlf_only() {
  local bad
  bad=$(od -An -v -tx1 "$1" | awk '{ for (i = 1; i <= NF; i++) {
      if ($i == "0a" && prev != "0d") bad++
      if (prev == "0d" && $i != "0a") bad++
      prev = $i } }
    END { if (prev == "0d") bad++; print bad + 0 }')
  [ "$bad" = 0 ]
}

# hold_mutex, release_mutex: the helper holds Install.exe's mutex between
# them, so that Install.exe fails with "Another (un)installation already running."
hold_mutex() {
  local i
  rm -f "$P/drive_c/mutex.ready" "$P/drive_c/mutex.release"
  WINEPREFIX=$P wine 'C:\tools\wine_helper.exe' holdmutex 'Global\VormoClientInstallMutex' 'C:\mutex.ready' \
    'C:\mutex.release' >/dev/null 2>&1 &
  MUTEX_HOLDER=$!
  for ((i = 0; i < 200; i++)); do
    [ -f "$P/drive_c/mutex.ready" ] && break
    sleep 0.1
  done
  check "the helper holds the mutex" test -f "$P/drive_c/mutex.ready"
}
release_mutex() {
  touch "$P/drive_c/mutex.release"
  wait "$MUTEX_HOLDER" || true
}
