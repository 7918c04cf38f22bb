# Sourced by the Windows scripts once wine, WINEPREFIX and run_wine are set.
# wine_starts PROGRAM LOG: runs "PROGRAM --help" under wine into LOG.
# A fresh prefix is built by the first run; under heavy load wine 8 now and
# then leaves it half made ("could not load kernel32.dll, status c0000135",
# before any of our code runs). That one message is the prefix, not the
# program: the prefix is built again once and the program started again.
# Any other failure, and the same failure twice, is the program's.
. "$(dirname "${BASH_SOURCE[0]}")/i386_packages.sh"

wine_starts() {
  local program=$1 log=$2 attempt
  for attempt in 1 2; do
    if run_wine "$program" --help >"$log" 2>&1; then return 0; fi
    grep -q "status c0000135" "$log" || return 1
    [ "$attempt" = 1 ] || return 1
    echo "note: wine left the prefix $WINEPREFIX half made; building it again"
    WINEPREFIX=$WINEPREFIX timeout 60 wineserver -k 2>/dev/null || true
    WINEPREFIX=$WINEPREFIX timeout 60 wineserver -w 2>/dev/null || true
    rm -rf "$WINEPREFIX"
  done
  return 1
}
