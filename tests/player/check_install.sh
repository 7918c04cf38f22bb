#!/usr/bin/env bash
# cmake --install of a Linux tree into a scratch prefix: the plug-in lands
# where hosts scan (lib/vst/Talvex.so) with only its two entry points, the
# player in bin/ finds that plug-in by itself, and the desktop entry names
# the player and an icon that is a real 128 × 128 picture.
#   tests/player/check_install.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
plugin=$prefix/lib/vst/Talvex.so
[ -f "$plugin" ] || fail "no $plugin"
bash "$here/../render/check_exports.sh" elf "$plugin"
[ -x "$prefix/bin/talvex" ] || fail "no player in bin/"

# The player, run from its installed place, takes the installed plug-in.
found=$(HOME="$prefix" "$prefix/bin/talvex" --list-devices 2>/dev/null | sed -n 's/^plug-in: //p')
[ "$(realpath "$found")" = "$(realpath "$plugin")" ] || fail "the installed player looks for its plug-in at $found"

desktop=$prefix/share/applications/talvex.desktop
[ -f "$desktop" ] || fail "no desktop entry"
grep -qx 'Type=Application' "$desktop" || fail "desktop entry without Type=Application"
grep -qx 'Exec=talvex' "$desktop" || fail "desktop entry does not start talvex"
grep -qx 'Icon=talvex' "$desktop" || fail "desktop entry without the icon"
icon=$prefix/share/icons/hicolor/128x128/apps/talvex.png
[ -f "$icon" ] || fail "no icon"
python3 - "$icon" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
assert data[:8] == b'\x89PNG\r\n\x1a\n', 'not a PNG'
width, height, depth, colour = struct.unpack('>IIBB', data[16:26])
assert (width, height) == (128, 128), f'icon is {width} x {height}'
# Decoded rows: a drawing, not a blank square.
pos, idat = 8, b''
while pos < len(data):
    length, tag = struct.unpack('>I4s', data[pos:pos + 8])
    if tag == b'IDAT':
        idat += data[pos + 8:pos + 8 + length]
    pos += 12 + length
raw = zlib.decompress(idat)
assert len(set(raw)) > 64, 'the icon holds hardly any colours'
print(f'icon: {width} x {height}, depth {depth}, colour type {colour}')
PY
echo "OK: installed plug-in, player, desktop entry and icon"
