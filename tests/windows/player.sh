#!/usr/bin/env bash
# The Windows player under wine: it needs no DLL beyond the system's, starts,
# lists the wave-out and MIDI devices, finds the plug-in beside it, and then
# either plays through wine's audio driver for a few seconds and quits on
# its own cleanly, or, where wine offers no output device, says so and exits
# with its no-audio status; which of the two happens must match what the
# machine offers wine (a sound card or a PulseAudio server). Its editor
# opens in a top-level window on a private Xvfb, shows the instrument and
# takes a click.
#   tests/windows/player.sh BUILD_DIR i686|x86_64
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
arch=$2
if [ -z "${DISPLAY:-}" ]; then exec "$here/../gui_window/run_with_xvfb.sh" "$0" "$@"; fi
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
. "$here/wine_start.sh"

# The plug-in is found beside the player.
cp "$build/plugins/Talvex.dll" "$build/bin/Talvex.dll"
# Without wine32, wine starts no 32-bit program yet exits 0: ask first.
if [ "$arch" = i686 ] && reason=$(i386_packages_missing wine32:i386); then
  echo "SKIPPED: $reason"
  exit 0
fi
if [ -z "$wine" ] || ! wine_starts "$player" "$work/help.log"; then
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

# What wine can play through, judged apart from the player: its ALSA driver
# needs a sound card, its PulseAudio driver a server.
system_has_output=no
if compgen -G "/dev/snd/pcmC*p" >/dev/null; then system_has_output=yes; fi
if [ -n "${PULSE_SERVER:-}" ] || [ -S "${XDG_RUNTIME_DIR:-/run/user/$(id -u)}/pulse/native" ]; then
  system_has_output=yes
fi
player_has_output=yes
if grep -q "^audio outputs: none" "$work/devices.log"; then player_has_output=no; fi
if [ "$system_has_output" = yes ] && [ "$player_has_output" = no ]; then
  echo "FAIL: the $arch player lists no audio output where the system offers wine one"
  exit 1
fi
if [ "$system_has_output" = no ] && [ "$player_has_output" = yes ]; then
  echo "FAIL: the $arch player lists audio outputs where the system offers wine none: $(cat "$work/devices.log")"
  exit 1
fi

status=0
run_wine "$player" --no-gui --quit-after 3 >"$work/play.log" 2>&1 || status=$?
cat "$work/play.log"
if [ "$player_has_output" = no ]; then
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

# The editor in a top-level window: it opens whether or not there is sound,
# shows the instrument (a picture of many colours the size of the editor)
# and a click on a bank tab changes what it shows.
expected_status=0
[ "$player_has_output" = no ] && expected_status=4
status=0
run_wine "$player" --editor-info "$work/editor.info" --quit-after 8 >"$work/gui.log" 2>&1 &
gui=$!
for _ in $(seq 300); do [ -s "$work/editor.info" ] && break; sleep 0.1; done
[ -s "$work/editor.info" ] || { cat "$work/gui.log"; echo "FAIL: the $arch player's editor never opened"; exit 1; }
sleep 1
xid=$(xdotool search --name "^Talvex" | head -n1)
[ -n "$xid" ] || { cat "$work/gui.log"; echo "FAIL: no top-level window named Talvex"; exit 1; }
import -window "$xid" -depth 8 "rgb:$work/before.rgb"
xdotool mousemove --window "$xid" 295 186 click 1
sleep 0.8
import -window "$xid" -depth 8 "rgb:$work/after.rgb"
wait "$gui" || status=$?
cat "$work/gui.log"
[ "$status" -eq "$expected_status" ] || { echo "FAIL: the $arch player with its editor exited $status, not $expected_status"; exit 1; }
grep -q "^quit: " "$work/gui.log" || { echo "FAIL: the $arch player with its editor did not quit cleanly"; exit 1; }
python3 - "$work/before.rgb" "$work/after.rgb" <<'PY' || { echo "FAIL: the $arch player's window does not show the editor"; exit 1; }
import sys
before = open(sys.argv[1], 'rb').read()
after = open(sys.argv[2], 'rb').read()
assert len(before) == 1000 * 450 * 3, f'the window holds {len(before) // 3} pixels, not 1000 x 450'
colours = {before[i:i + 3] for i in range(0, len(before), 3)}
changed = sum(1 for i in range(0, len(before), 3) if before[i:i + 3] != after[i:i + 3])
print(f'editor window: {len(colours)} colours, {changed} pixels changed by the tab click')
assert len(colours) > 200, 'too few colours for the instrument'
assert changed > 1000, 'the click on the tab changed nothing'
PY
echo "OK: $arch player's editor in a top-level window under wine"
