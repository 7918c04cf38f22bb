#!/usr/bin/env bash
# The Windows player under wine: it needs no DLL beyond the system's, starts,
# lists the wave-out and MIDI devices, finds the plug-in beside it, and then
# either plays through wine's audio driver for a few seconds and quits on
# its own cleanly, or, where wine offers no output device, says so and exits
# with its no-audio status.
#   tests/windows/player.sh BUILD_DIR i686|x86_64
set -euo pipefail
build=$(cd "$1" && pwd)
arch=$2
player=$build/bin/talvex.exe
objdump=$arch-w64-mingw32-objdump
[ -f "$player" ] || { echo "FAIL: $player was not built"; exit 1; }

# Only system DLLs: no libstdc++, libgcc or winpthread to ship beside it.
imports=$("$objdump" -p "$player" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
for dll in $imports; do
  case "$dll" in
    kernel32.dll|user32.dll|gdi32.dll|winmm.dll|advapi32.dll|msvcrt.dll|comdlg32.dll|shell32.dll|ole32.dll|api-ms-win-*) ;;
    *) echo "FAIL: the $arch player imports $dll"; exit 1 ;;
  esac
done

if [ "$arch" = i686 ]; then wine=$(command -v wine || true); else wine=/usr/lib/wine/wine64; fi
work=$build/player-check
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix} WINEDEBUG=-all
run_wine() { timeout 300 "$wine" "$@"; }

# The plug-in is found beside the player.
cp "$build/plugins/Talvex.dll" "$build/bin/Talvex.dll"
if [ -z "$wine" ] || ! run_wine "$player" --help >"$work/help.log" 2>&1; then
  if [ "$arch" = i686 ] && grep -q "Exec format error" "$work/help.log"; then
    echo "SKIPPED: this kernel cannot run 32-bit programs, so wine cannot run the $arch player"
    exit 0
  fi
  cat "$work/help.log"
  echo "FAIL: the $arch player does not start under wine"
  exit 1
fi
grep -q "^usage: talvex" "$work/help.log" || { cat "$work/help.log"; echo "FAIL: no usage text"; exit 1; }

run_wine "$player" --list-devices >"$work/devices.log" 2>&1 || { cat "$work/devices.log"; echo "FAIL: --list-devices"; exit 1; }
cat "$work/devices.log"
grep -q "^audio outputs" "$work/devices.log" || { echo "FAIL: no audio device list"; exit 1; }
grep -q "^MIDI inputs (winmm)" "$work/devices.log" || { echo "FAIL: no MIDI device list"; exit 1; }
grep -qi "^plug-in: .*Talvex.dll" "$work/devices.log" || { echo "FAIL: the plug-in beside the player is not the default"; exit 1; }

status=0
run_wine "$player" --no-gui --quit-after 3 >"$work/play.log" 2>&1 || status=$?
cat "$work/play.log"
if grep -q "^audio outputs: none" "$work/devices.log"; then
  [ "$status" -eq 4 ] || { echo "FAIL: without devices the player exited $status, not 4"; exit 1; }
  grep -q "no audio output device" "$work/play.log" || { echo "FAIL: no clean report of the missing device"; exit 1; }
  echo "OK: $arch player under wine: no audio device, reported cleanly"
else
  [ "$status" -eq 0 ] || { echo "FAIL: the player exited $status"; exit 1; }
  grep -q '^audio: winmm ' "$work/play.log" || { echo "FAIL: no wave-out stream"; exit 1; }
  frames=$(sed -n 's/^quit: \([0-9]*\) frames rendered.*/\1/p' "$work/play.log")
  [ "${frames:-0}" -gt 0 ] || { echo "FAIL: nothing rendered to the wave-out device"; exit 1; }
  echo "OK: $arch player under wine rendered $frames frames to wine's audio driver"
fi
