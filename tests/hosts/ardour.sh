#!/usr/bin/env bash
# Talvex.so in Ardour 7, headless (ardour7-lua, Dummy backend); renders are
# Ardour's bounce of the track with processing (see ardour/session.lua):
#   1. a new session with a MIDI track holding Talvex and a region with two
#      notes renders A4 and A3 at their pitches;
#   2. the saved session, reloaded in a fresh process, renders the same samples;
#   3. the saved session with a bank chunk that holds a built-in project (as
#      Ardour saves it after a user chose the project in the editor) reloads
#      with that project's sound: within 1 dB of the level talvex-render gets
#      after loading the project, and at the notes' pitches;
#   4. CYCLES (100) add/remove cycles of the plug-in in one session: no crash,
#      no growth of the resident size beyond LEAK_KIB (8 MiB) over the second half of the cycles (in the
#      first half Ardour's pools and the allocator's arenas fill: measured runs settled after 10 to 40),
#      and the session's own instance still renders the same samples.
#   tests/hosts/ardour.sh BUILD_DIR WORK_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
work=$2
cycles=${CYCLES:-100}
leak_kib=${LEAK_KIB:-8192}
wavtool=(python3 "$here/wavtool.py")
renderer=$build/bin/talvex-render

fail() { echo "FAIL (ardour): $*"; exit 1; }
command -v ardour7-lua >/dev/null || fail "ardour7-lua is missing (scripts/setup-debian.sh tests installs ardour)"

rm -rf "$work"
mkdir -p "$work/vst" "$work/render"
work=$(cd "$work" && pwd)
# Ardour's configuration, plug-in cache and Talvex's settings all live under
# a home of the check's own, so neither the user's nor an earlier run's leak in.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_CACHE_HOME=$work/home/.cache
mkdir -p "$XDG_CONFIG_HOME/ardour7"
cp "$here/ardour/config" "$XDG_CONFIG_HOME/ardour7/config"
export TALVEX_SESSION_NAME=talvex
export LXVST_PATH=$work/vst

# The scanner judges a cache entry stale when the plug-in file is not at
# least a second older than the scan.
cp "$build/plugins/Talvex.so" "$work/vst/"
touch -d '-10 seconds' "$work/vst/Talvex.so"
LD_LIBRARY_PATH=/usr/lib/ardour7 timeout 120 /usr/lib/ardour7/ardour-vst-scanner -f "$work/vst/Talvex.so" \
  >"$work/scan.log" 2>&1 || { cat "$work/scan.log"; fail "ardour-vst-scanner cannot scan Talvex.so"; }

# One ardour7-lua run named NAME; the script reports "result: ok" (its exit
# status says nothing about the script) and the two mono files of its
# render, copied to render/NAME-L.wav and render/NAME-R.wav.
ardour_run() {
  local name=$1 log=$work/$1.log
  shift
  env "$@" TALVEX_RENDER_NAME="$name" timeout 300 ardour7-lua "$here/ardour/session.lua" >"$log" 2>&1 || true
  if ! grep -q '^result: ok' "$log"; then
    tail -n 30 "$log"
    fail "ardour7-lua $* did not finish"
  fi
  read -r _ _ left right < <(grep "^rendered $name " "$log")
  cp "$left" "$work/render/$name-L.wav"
  cp "$right" "$work/render/$name-R.wav"
}
# Both channels of two renders, sample by sample: identical samples. Ardour
# switches the plug-in off and on before each bounce (effMainsChanged around
# effSetBlockSize), and Talvex then forgets what it played while idling, so
# how many blocks it idled through before the bounce no longer matters.
same_render() {
  "${wavtool[@]}" compare "$work/render/$1-L.wav" "$work/render/$2-L.wav" --max-diff 0 &&
    "${wavtool[@]}" compare "$work/render/$1-R.wav" "$work/render/$2-R.wav" --max-diff 0
}

echo "-- a new session renders the notes at their pitches"
ardour_run created TALVEX_ACTION=create TALVEX_SESSION_DIR="$work/session"
"${wavtool[@]}" level "$work/render/created-L.wav" --min-peak-db -70
"${wavtool[@]}" level "$work/render/created-R.wav" --min-peak-db -70
"${wavtool[@]}" pitch "$work/render/created-L.wav" --at 0.8 --expect 440
"${wavtool[@]}" pitch "$work/render/created-L.wav" --at 2.8 --expect 220

echo "-- the saved session reloads in a fresh process with the same samples"
ardour_run reloaded TALVEX_ACTION=reload TALVEX_SESSION_DIR="$work/session"
same_render created reloaded

echo "-- a session saved with a project in the plug-in's chunk reloads with its sound"
project=${CHUNK_PROJECT:-3}
printf '0.5s note_on 0 69 100\n2s note_off 0 69 0\n2.5s note_on 0 57 100\n3.5s note_off 0 57 0\n' >"$work/notes.txt"
"$renderer" "$build/plugins/Talvex.so" --vendor-specific "Tlvx,Proj,$project" -d 1s --no-progress \
  -o "$work/chunk-source.wav" --save-chunk "$work/bank.chunk" >/dev/null
"$renderer" "$build/plugins/Talvex.so" --vendor-specific "Tlvx,Proj,$project" -e "$work/notes.txt" -d 4s --no-progress \
  -o "$work/render/reference.wav" >/dev/null
cp -r "$work/session" "$work/chunk-session"
python3 - "$work/chunk-session/talvex.ardour" "$work/bank.chunk" <<'PY'
import base64, re, sys
path, chunk = sys.argv[1], open(sys.argv[2], 'rb').read()
text = open(path).read()
new, count = re.subn(r'(<chunk program="\d+">)[^<]*(</chunk>)',
                     lambda m: m.group(1) + base64.b64encode(chunk).decode() + m.group(2), text)
assert count == 1, f'{count} chunk elements in the session'
open(path, 'w').write(new)
PY
ardour_run chunk TALVEX_ACTION=reload TALVEX_SESSION_DIR="$work/chunk-session"
"${wavtool[@]}" pitch "$work/render/chunk-L.wav" --at 0.8 --expect 440
"${wavtool[@]}" pitch "$work/render/chunk-L.wav" --at 2.8 --expect 220
"${wavtool[@]}" compare --first-channel "$work/render/reference.wav" "$work/render/chunk-L.wav" --max-level-db 1 ||
  fail "the session's chunk does not bring back the project's sound"

echo "-- $cycles add/remove cycles of the plug-in in one session"
# glibc's allocator raises its mmap threshold to the largest block freed, so
# after a few instances come and go their blocks are carved from the heap,
# whose freed middle is never given back: the resident size then climbs in
# steps of one instance (about 12 MiB) with nothing leaked. A fixed threshold
# returns every large block at once, and the resident size shows what stays.
ardour_run cycled MALLOC_MMAP_THRESHOLD_=65536 MALLOC_TRIM_THRESHOLD_=131072 TALVEX_ACTION=cycles TALVEX_SESSION_DIR="$work/session" TALVEX_CYCLES="$cycles"
settled=$(( cycles / 20 * 10 ))
grep '^rss-kib' "$work/cycled.log" | awk -v limit="$leak_kib" -v settled="$settled" '
  $2 == settled { first = $3 } { last = $3; cycle = $2 }
  END {
    if (first == "") { print "FAIL (ardour): no resident size after " settled " cycles"; exit 1 }
    printf "resident size %d KiB after %d cycles, %d KiB after %d (growth %d KiB, limit %d)\n", first, settled, last, cycle, last - first, limit
    if (last - first > limit) { print "FAIL (ardour): the resident size grows with add/remove cycles"; exit 1 }
  }'
same_render created cycled
echo "OK: Ardour plays, saves and reloads Talvex.so"
