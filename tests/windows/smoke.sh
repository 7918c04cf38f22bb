#!/usr/bin/env bash
# Smoke test of a Windows tree: the DLLs export exactly the VST entry points
# and need no mingw runtime, and the Windows talvex-render loads both the
# plug-in and the render probe under wine and writes their output.
#   tests/windows/smoke.sh BUILD_DIR i686|x86_64
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
arch=$2
objdump=$arch-w64-mingw32-objdump
renderer=$build/bin/talvex-render.exe
plugin=$build/plugins/Talvex.dll
probe=$build/test-plugins/TalvexRenderProbe.dll

for dll in "$plugin" "$probe"; do
  bash "$here/../render/check_exports.sh" pe "$dll" "$objdump"
done

if [ "$arch" = i686 ]; then wine=$(command -v wine || true); else wine=/usr/lib/wine/wine64; fi
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix} WINEDEBUG=-all
work=$build/smoke
mkdir -p "$work"

# Nothing here may hang CI: every wine run has a time limit.
run_wine() { timeout 300 "$wine" "$@"; }
. "$here/wine_start.sh"

# Without wine32, wine starts no 32-bit program yet exits 0: ask first.
if [ "$arch" = i686 ] && reason=$(i386_packages_missing wine32:i386); then
  echo "SKIPPED: $reason"
  exit 0
fi
if [ -z "$wine" ] || ! wine_starts "$renderer" "$work/help.log"; then
  # The i386 wine loader needs a kernel that runs 32-bit programs; some
  # kernels are built without that, and then nothing 32-bit runs at all.
  if [ "$arch" = i686 ] && grep -q "Exec format error" "$work/help.log"; then
    echo "SKIPPED: this kernel cannot run 32-bit programs, so wine cannot run the $arch renderer"
    exit 0
  fi
  cat "$work/help.log"
  echo "FAIL: the $arch renderer does not start under wine"
  exit 1
fi

# Frame count and sample format of a WAV file written by talvex-render.
check_wav() {
  python3 - "$1" "$2" <<'PY'
import struct, sys
path, frames = sys.argv[1], int(sys.argv[2])
data = open(path, 'rb').read()
assert data[:4] == b'RIFF' and data[8:12] == b'WAVE', 'not a WAV file'
pos, channels, bits, size = 12, 0, 0, None
while pos + 8 <= len(data):
    tag, length = data[pos:pos + 4], struct.unpack('<I', data[pos + 4:pos + 8])[0]
    if tag == b'fmt ':
        channels, bits = struct.unpack('<H', data[pos + 10:pos + 12])[0], struct.unpack('<H', data[pos + 22:pos + 24])[0]
    if tag == b'data':
        size = length
        break
    pos += 8 + length + (length & 1)
assert size is not None, 'no data chunk'
got = size // (channels * bits // 8)
assert got == frames, f'{got} frames, expected {frames}'
print(f'{path}: {channels} channels, {bits} bits, {got} frames')
PY
}

run_wine "$renderer" "$plugin" -o "$work/talvex.wav" -d 44100 --no-progress
check_wav "$work/talvex.wav" 44100
printf '0 note_on 0 60 100\n100 note_off 0 60 0\n' >"$work/events.txt"
run_wine "$renderer" "$probe" -e "$work/events.txt" -o "$work/probe.wav" -d 4410 --all-outputs --no-progress
check_wav "$work/probe.wav" 4410

# The drawing layer gives the same bytes as the native build: reference
# scenes against the committed images, skin bitmaps out of the resources.
gui_check=$build/tests/gui/windows/gui_check.exe
if [ -f "$gui_check" ]; then
  run_wine "$gui_check" "$here/../gui/reference" "$here/../../resources/skin"
else
  echo "FAIL: $gui_check was not built"
  exit 1
fi

# The editor's pictures are the native snapshot test's bytes.
editor_check=$build/tests/editor/windows/editor_check.exe
if [ -f "$editor_check" ]; then
  run_wine "$editor_check" "$here/../editor/reference"
else
  echo "FAIL: $editor_check was not built"
  exit 1
fi

echo "OK: $arch DLLs load and render under wine"
