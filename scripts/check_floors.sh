#!/usr/bin/env bash
# The installer's floors: includes run only downward (or within a floor), and
# the platform seam is the one place that knows which platform it is on.
#   run/ check/ (5) -> sequence/ (4) -> portcfg/ printers/ client/ monitor/ version/ (3)
#   -> base/ (2) -> platform/ (1) -> winsim/ behind the seam (0)
set -euo pipefail
cd "$(dirname "$0")/.."

floor() {
  case "$1" in
    run | check) echo 5 ;;
    sequence) echo 4 ;;
    portcfg | printers | client | monitor | version) echo 3 ;;
    base) echo 2 ;;
    platform) echo 1 ;;
    winsim) echo 0 ;;
    *) echo "" ;;
  esac
}

status=0
while IFS= read -r file; do
  own=$(floor "${file%%/*}")
  while IFS= read -r target; do
    other=$(floor "${target%%/*}")
    [ -n "$other" ] || continue
    if [ "$other" -gt "$own" ]; then
      echo "floors: $file includes $target, a floor above it"
      status=1
    elif [ "$other" = 0 ] && [ "$own" != 1 ]; then
      echo "floors: $file includes $target; only the platform seam reaches winsim"
      status=1
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(git ls-files 'run/*' 'check/*' 'sequence/*' 'portcfg/*' 'printers/*' 'client/*' 'monitor/*' 'version/*' 'base/*' \
  'platform/*' | grep -E '\.(cpp|h)$')

# One seam: no other file asks which platform it is built for.
while IFS= read -r hit; do
  echo "floors: platform test outside the seam: $hit"
  status=1
done < <(git grep -n -E '^[[:space:]]*#[[:space:]]*(if|ifdef|ifndef|elif).*(_WIN32|__linux__|WIN32)' -- \
  run check sequence portcfg printers client monitor version base platform | grep -v '^platform/win32.h:' || true)

[ "$status" = 0 ] && echo "floors: every include runs downward"
exit $status
