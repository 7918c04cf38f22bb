#!/usr/bin/env bash
# The i686 DLL in LMMS 1.2 (Debian i386) through VeSTige and wine, headless:
#   1. a project with one VeSTige track and a MIDI clip (key 69 from 0.5 s
#      to 2 s, key 57 from 2.5 s to 3.5 s) renders both notes at their pitches;
#   2. RENDERS (20) renders of it in a row, one LMMS process each, all sound
#      and all at the right pitch;
#   3. the same project holding Talvex's bank chunk the way LMMS saves it
#      (program="0" chunk="base64") with a built-in project in the current
#      program renders that project's sound again: within 1.5 dB of the level
#      the Linux talvex-render gets after loading the project, and at the
#      notes' pitches.
# LMMS exits 0 even when the plug-in failed to load, so only the WAV counts.
# LMMS's VST shared memory has a fixed machine-wide key: renders are
# serialised through a lock file, also against other checkouts' runs.
# LMMS is a 32-bit program here: where the kernel cannot run 32-bit
# programs, the check says SKIPPED and why.
#   tests/hosts/lmms.sh WIN32_BUILD_DIR LINUX_BUILD_DIR WORK_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
win32=$(cd "$1" && pwd)
linux=$(cd "$2" && pwd)
work=$3
renders=${RENDERS:-20}
project=${CHUNK_PROJECT:-3}
lock=${TMPDIR:-/tmp}/talvex-lmms.lock

fail() { echo "FAIL (lmms): $*"; exit 1; }
lmms=$(command -v lmms || true)
. "$(dirname "${BASH_SOURCE[0]}")/../windows/i386_packages.sh"
if reason=$(i386_packages_missing lmms:i386); then
  echo "SKIPPED (lmms): $reason"
  exit 0
fi
[ -n "$lmms" ] || fail "lmms is missing (scripts/setup-debian.sh tests installs lmms:i386)"
# Debian's amd64 LMMS has no VeSTige; only the i386 build plays Windows DLLs.
elf_class=$(od -An -tx1 -j4 -N1 "$(readlink -f "$lmms")" | tr -d ' ')
[ "$elf_class" = 01 ] || fail "$lmms is not the i386 build (lmms:i386), which carries VeSTige"
[ -e /usr/lib/i386-linux-gnu/lmms/RemoteVstPlugin.exe.so ] || [ -n "$(find /usr/lib/*/lmms -name 'RemoteVstPlugin*' 2>/dev/null | head -n1)" ] ||
  fail "LMMS's VST server is missing (lmms-vst-server:i386)"

rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
if ! "$lmms" --allowroot --version >"$work/version.log" 2>&1; then
  if grep -q "Exec format error" "$work/version.log"; then
    echo "SKIPPED (lmms): this kernel cannot run 32-bit programs, so the i386 LMMS cannot start"
    exit 0
  fi
  cat "$work/version.log"
  fail "lmms does not start"
fi
head -n1 "$work/version.log"

export HOME=$work/home WINEPREFIX=$work/home/wineprefix WINEDEBUG=-all
mkdir -p "$HOME"
# Without a prefix made beforehand, LMMS's first render prints "Remote
# plugin did not connect" and writes silence.
timeout 300 wineboot -i >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log"; fail "wineboot -i cannot make the prefix"; }
timeout 120 wineserver -w || true

cp "$win32/plugins/Talvex.dll" "$work/"

# An LMMS project: one VeSTige track, one clip. 192 ticks a bar, 120 bpm.
write_project() {
  local path=$1 extra=$2
  cat >"$path" <<EOF
<?xml version="1.0"?>
<!DOCTYPE lmms-project>
<lmms-project version="1.0" creator="LMMS" creatorversion="1.2.2" type="song">
  <head timesig_numerator="4" timesig_denominator="4" bpm="120" mastervol="100" masterpitch="0"/>
  <song>
    <trackcontainer type="song" width="600" height="300" x="5" y="5" visible="1" maximized="0" minimized="0">
      <track type="0" name="Talvex" muted="0" solo="0">
        <instrumenttrack vol="100" pan="0" fxch="0" pitch="0" pitchrange="1" basenote="57" usemasterpitch="1">
          <instrument name="vestige">
            <vestige plugin="$work/Talvex.dll"$extra/>
          </instrument>
          <!-- Velocity = note volume (100) x base velocity / 100: 127 here. -->
          <midiport inputchannel="0" outputchannel="1" inputcontroller="0" outputcontroller="0" fixedinputvelocity="-1" fixedoutputvelocity="-1" fixedoutputnote="-1" outputprogram="1" basevelocity="127" readable="0" writable="0"/>
          <fxchain numofeffects="0" enabled="0"/>
        </instrumenttrack>
        <pattern type="1" name="notes" pos="0" len="384" steps="32" muted="0">
          <note key="69" vol="100" pan="0" pos="48" len="144"/>
          <note key="57" vol="100" pan="0" pos="240" len="96"/>
        </pattern>
      </track>
    </trackcontainer>
  </song>
</lmms-project>
EOF
}

render() {
  local project_file=$1 output=$2
  rm -f "$output"
  flock "$lock" timeout 300 xvfb-run -a "$lmms" --allowroot render "$project_file" -f wav -o "$output" \
    >"$output.log" 2>&1 || true
  [ -s "$output" ] || { tail -n 30 "$output.log"; fail "LMMS wrote no $output"; }
}

check_notes() {
  python3 "$here/wavtool.py" level "$1" --min-peak-db -70 || { tail -n 30 "$1.log"; fail "$1 is silent"; }
  python3 "$here/wavtool.py" pitch "$1" --at 0.8 --expect 440 || fail "key 69 does not sound at 440 Hz in $1"
  python3 "$here/wavtool.py" pitch "$1" --at 2.8 --expect 220 || fail "key 57 does not sound at 220 Hz in $1"
}

echo "-- a VeSTige track plays its clip, $renders renders in a row"
write_project "$work/plain.mmp" ""
for i in $(seq 1 "$renders"); do
  render "$work/plain.mmp" "$work/plain-$i.wav"
  check_notes "$work/plain-$i.wav"
done

echo "-- the project as LMMS saves it, program=\"0\" and the bank chunk, brings back the chosen project's sound"
printf '0.5s note_on 0 69 127\n2s note_off 0 69 0\n2.5s note_on 0 57 127\n3.5s note_off 0 57 0\n' >"$work/notes.txt"
XDG_CONFIG_HOME=$work/config "$linux/bin/talvex-render" "$linux/plugins/Talvex.so" --vendor-specific "Tlvx,Proj,$project" \
  -d 1s --no-progress -o "$work/chunk-source.wav" --save-chunk "$work/bank.chunk" >/dev/null
XDG_CONFIG_HOME=$work/config "$linux/bin/talvex-render" "$linux/plugins/Talvex.so" --vendor-specific "Tlvx,Proj,$project" \
  -e "$work/notes.txt" -d 4s --no-progress -o "$work/reference.wav" >/dev/null
write_project "$work/chunk.mmp" " program=\"0\" chunk=\"$(base64 -w0 "$work/bank.chunk")\""
render "$work/chunk.mmp" "$work/chunk.wav"
check_notes "$work/chunk.wav"
python3 "$here/wavtool.py" compare "$work/reference.wav" "$work/chunk.wav" --max-level-db 1.5 ||
  fail "the restored chunk does not sound as the project it holds"
echo "OK: LMMS plays the i686 DLL and restores it from its chunk"
