#!/usr/bin/env bash
# The Windows editor window under wine on a private Xvfb: the Windows
# talvex-render opens the window probe's editor (LMMS and Ardour orders),
# the screen must show the probe's picture pixel for pixel, clicks, a double
# click and the wheel arrive at the right place with the right button, the
# drag's automation reaches the host bracketed by begin/end, and 50 open and
# close cycles while rendering end cleanly.
#   tests/windows/editor_window.sh BUILD_DIR i686|x86_64
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
arch=$2
if [ -z "${DISPLAY:-}" ]; then exec "$here/../gui_window/run_with_xvfb.sh" "$0" "$@"; fi

renderer=$build/bin/talvex-render.exe
probe=$build/test-plugins/TalvexWindowProbe.dll
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix} WINEDEBUG=-all
work=$build/editor-window
. "$here/wine_renderer.sh"

# Compares a raw RGB capture with the probe's picture (its formula, kept in
# step with tests/gui_window/fixture/window_probe_pattern.h), markers aside.
check_picture() {
  python3 - "$1" "$2" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
markers = [tuple(map(int, m.split(','))) for m in sys.argv[2].split()] if sys.argv[2] else []
w, h = 1000, 450
assert len(data) == w * h * 3, f'capture holds {len(data)} bytes'
bad = 0
for y in range(h):
    for x in range(w):
        i = 3 * (y * w + x)
        got = (data[i], data[i + 1], data[i + 2])
        want = (x & 255, y & 255, ((x >> 8) * 64 + (y >> 8) * 16 + ((x + y) & 15)) & 255)
        for mx, my, colour in markers:
            if mx <= x < mx + 8 and my <= y < my + 8:
                want = ((colour >> 16) & 255, (colour >> 8) & 255, colour & 255)
        if got != want:
            if bad == 0:
                print(f'first difference at ({x}, {y}): {got} instead of {want}')
            bad += 1
print(f'{bad} pixels differ')
sys.exit(1 if bad else 0)
PY
}

wait_for_info() {
  for _ in $(seq 600); do [ -s "$1" ] && return 0; sleep 0.1; done
  return 1
}

for order in lmms ardour; do
  log=$work/$order.log
  info=$work/$order.info
  TALVEX_WINDOW_PROBE_LOG=$log run_wine "$renderer" "$probe" -o "$work/$order.wav" --show-editor 6 \
    --editor-order "$order" --editor-info "$info" --automation-log "$work/$order.automation" --no-progress \
    >"$work/$order.out" 2>&1 &
  host=$!
  wait_for_info "$info" || fail "$order: the editor never opened: $(cat "$work/$order.out")"
  sleep 1
  # Wine gives each top-level window an X window of the client area's size.
  xid=$(xdotool search --name "talvex-render editor" | head -n1)
  [ -n "$xid" ] || fail "$order: no X window for the frame"
  import -window "$xid" -depth 8 "rgb:$work/$order-before.rgb"
  check_picture "$work/$order-before.rgb" "" || fail "$order: the window does not show the presented picture"
  xdotool mousemove --window "$xid" 100 50 mousedown 1 mousemove --window "$xid" 200 55 \
    mousemove --window "$xid" 300 60 mouseup 1
  xdotool mousemove --window "$xid" 700 400 click 3
  xdotool mousemove --window "$xid" 600 100 click --repeat 2 --delay 80 1
  xdotool mousemove --window "$xid" 650 120 click 4 click 5
  sleep 0.5
  import -window "$xid" -depth 8 "rgb:$work/$order-after.rgb"
  check_picture "$work/$order-after.rgb" "100,50,65280 700,400,16711935 600,100,65280" ||
    fail "$order: the click markers are not where the clicks were"
  wait "$host" || fail "$order: the host failed: $(cat "$work/$order.out")"

  grep -q '^wrong-thread' "$log" && fail "$order: an editor call came on another thread"
  for line in "down 100 50 1 0 0" "up 300 60 1 0" "down 700 400 4 0 0" "down 600 100 1 0 0" "down 600 100 1 0 1" \
      "wheel 650 120 1 0" "wheel 650 120 -1 0" "close errors=0"; do
    grep -q "^$line" "$log" || fail "$order: '$line' missing from the probe's log: $(cat "$log")"
  done
  if [ "$order" = lmms ]; then expected="creator-thread=1"; else expected="creator-thread=0"; fi
  grep -q "^open .*$expected" "$log" || fail "$order: editor opened on the wrong thread"
  python3 - "$work/$order.automation" <<'PY' || fail "$order: the drag's automation is wrong"
import sys
lines = [l.split(' ', 1)[1] for l in open(sys.argv[1]).read().splitlines() if not l.startswith('#')]
assert lines[0] == 'begin 0', lines
assert lines[1] == '0 %.9g' % (100 / 999), lines
end = lines.index('end 0')
assert lines[end - 1] == '0 %.9g' % (300 / 999), lines
assert lines.count('begin 0') == 3 and lines.count('end 0') == 3, lines
PY
  echo "ok ($arch, $order): picture, clicks, double click, wheel, automation"
done

# Open and close while rendering, the parent going first every time.
log=$work/cycles.log
TALVEX_WINDOW_PROBE_LOG=$log run_wine "$renderer" "$probe" -o "$work/cycles.wav" --show-editor 8 \
  --editor-cycles 50 --editor-close-twice --editor-destroy-parent-first --no-progress >"$work/cycles.out" 2>&1 ||
  fail "cycles: the host failed: $(cat "$work/cycles.out")"
opens=$(grep -c '^open ' "$log" || true)
closes=$(grep -c '^close ' "$log" || true)
[ "$opens" = 50 ] && [ "$closes" = 50 ] || fail "cycles: $opens opens and $closes closes instead of 50"
echo "OK: $arch editor window under wine"
