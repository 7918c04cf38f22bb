#!/usr/bin/env bash
# The real-host checks: Talvex.so in Ardour 7, the x86_64 DLL under wine64
# against the Linux plug-in, the i686 DLL in LMMS with VeSTige. Each check
# prints OK, SKIPPED with its reason, or FAIL; the first failure ends the run.
#   tests/hosts/run.sh LINUX_BUILD_DIR WIN32_BUILD_DIR WIN64_BUILD_DIR WORK_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
linux=$1 win32=$2 win64=$3 work=$4
mkdir -p "$work"

timed() {
  local name=$1 start
  shift
  start=$(date +%s)
  printf '\n--- %s\n' "$name"
  "$@"
  printf -- '--- %s: %d s\n' "$name" "$(( $(date +%s) - start ))"
}

timed "Ardour 7 with the Linux plug-in" "$here/ardour.sh" "$linux" "$work/ardour"
timed "the x86_64 DLL under wine64 against the Linux plug-in" "$here/wine64_same.sh" "$linux" "$win64" "$work/wine64"
timed "LMMS with the i686 DLL" "$here/lmms.sh" "$win32" "$linux" "$work/lmms"
