#!/usr/bin/env bash
# The floors of the sources: includes run only downward (or within a floor),
# the platform seam is the one place that knows which platform it is on, and
# no folder includes one that includes it back.
#   run/ check/ (6) -> sequence/ (5) -> decide/ (4, what a run will do, decided without changing
#   anything) -> portcfg/ printers/ client/ monitor/ version/ (3)
#   -> base/ (2) -> platform/ (1) -> wire/ (0, the ground floor: the port record's wire format)
# winsim/, the simulated Windows of the host build, stands behind the seam:
# platform/ alone reaches it, and it reaches nothing of the installer but
# wire/. The stand-ins (standins/, programs of their own built against
# Windows) reach nothing but wire/ either, and wire/ includes the standard
# library only. Over every folder but tests/ and bench/ (which may include
# anything, and which nothing includes), the folder include graph has no loop.
set -euo pipefail
cd "$(dirname "$0")/.."

floor() {
  case "$1" in
    run | check) echo 6 ;;
    sequence) echo 5 ;;
    decide) echo 4 ;;
    portcfg | printers | client | monitor | version) echo 3 ;;
    base) echo 2 ;;
    platform) echo 1 ;;
    wire) echo 0 ;;
    *) echo "" ;;
  esac
}

# The folders beside the floors, and the one folder each may include besides its own.
reaches() {
  case "$1" in
    winsim | standins) echo wire ;;
    wire) echo "" ;;
    *) echo any ;;
  esac
}

# The folder an include names: the including file's own folder for a path
# found beside it, else the first part of the path (from the source root or
# winsim/include); empty for a header of no folder of the sources.
folder_of() {
  local file=$1 target=$2 path
  path=$(dirname "$file")/$target
  if [ -e "$path" ]; then
    case "$path" in */../* | ../*) path=$(realpath -m -s --relative-to=. "$path") ;; esac
  else
    path=$target
  fi
  case "$path" in
    */*) [ -d "${path%%/*}" ] && echo "${path%%/*}" || true ;;
  esac
}

status=0
edges=$(mktemp)
trap 'rm -f "$edges"' EXIT

# Every quoted include of every source file but the tests' and the benchmarks'
# (untracked files too, so that a file not yet added is checked).
while IFS=$'\t' read -r file target; do
  own=${file%%/*}
  other=$(folder_of "$file" "$target")
  [ -n "$other" ] && [ "$other" != "$own" ] || continue
  echo "$own $other" >>"$edges"
  own_floor=$(floor "$own")
  other_floor=$(floor "$other")
  allowed=$(reaches "$own")
  if [ -n "$own_floor" ] && [ -n "$other_floor" ] && [ "$other_floor" -gt "$own_floor" ]; then
    echo "floors: $file includes $target, a floor above it"
    status=1
  elif [ "$other" = winsim ] && [ "$own" != platform ]; then
    echo "floors: $file includes $target; only the platform seam reaches winsim"
    status=1
  elif [ "$allowed" != any ] && [ "$other" != "$allowed" ]; then
    echo "floors: $file includes $target; $own/ includes nothing of the other folders but ${allowed:-the standard library}${allowed:+/}"
    status=1
  fi
done < <(git grep --untracked -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' -- \
  '*.cpp' '*.h' '*.c' '*.hpp' '*.rc' ':!tests/' ':!bench/' |
  sed -n 's/^\([^:]*\):[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1\t\2/p')

# The ground floor takes nothing but the standard library (no extension).
while IFS= read -r hit; do
  echo "floors: wire/ includes the standard library only: $hit"
  status=1
done < <(git grep --untracked -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*<[^>]*\.' -- wire || true)

# No loop between folders: tsort names the folders of each loop it meets.
if ! loops=$(sort -u "$edges" | tsort 2>&1 >/dev/null); then
  echo "$loops" | awk '
    /input contains a loop/ { if (loop != "") print loop; loop = ""; next }
    { sub(/^tsort: /, ""); loop = loop " " $0 "/" }
    END { if (loop != "") print loop }' | sort -u | sed 's/^/floors: the folders include each other in a loop:/'
  status=1
fi

# One seam: no other file asks which platform it is built for.
while IFS= read -r hit; do
  echo "floors: platform test outside the seam: $hit"
  status=1
done < <(git grep -n -E '^[[:space:]]*#[[:space:]]*(if|ifdef|ifndef|elif).*(_WIN32|__linux__|WIN32)' -- \
  run check sequence decide portcfg printers client monitor version base platform wire | grep -v '^platform/win32.h:' || true)

[ "$status" = 0 ] && echo "floors: every include runs downward, and no folder reaches back"
exit $status
