#!/usr/bin/env bash
# The x86_64 DLL, played by the Windows talvex-render under wine64, renders
# the same samples as the Linux plug-in played by the Linux talvex-render:
# for every built-in project with its demonstration performance and notes on
# top, the largest difference between the two WAV files is 0. (The engine
# computes exp, pow, log, sin and cos itself, common/portable_math.h: glibc
# and the Windows C runtime round the last bit of those differently.)
#   tests/hosts/wine64_same.sh LINUX_BUILD_DIR WIN64_BUILD_DIR WORK_DIR
#
# SAME_PROJECTS       the project numbers to compare, or "all"; by default
#                     SAME_SAMPLE of them (24), spread evenly over the
#                     library from the first to the last, so that the check
#                     keeps its time as the library grows
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
linux=$(cd "$1" && pwd)
win64=$(cd "$2" && pwd)
work=$3
# Every built-in project: one .prg file each under resources/projects.
count=$(find "$here/../../resources/projects" -maxdepth 1 -name '*.prg' | wc -l)
sample=${SAME_SAMPLE:-24}
case "${SAME_PROJECTS:-}" in
  all) projects=$(seq -s ' ' 0 $((count - 1))) ;;
  "") projects=$(awk -v n="$count" -v k="$sample" 'BEGIN {
        if (k >= n || k < 2) { for (i = 0; i < (k < 2 && k < n ? k : n); ++i) printf "%d ", i; exit }
        for (i = 0; i < k; ++i) printf "%d ", int(i * (n - 1) / (k - 1) + 0.5) }') ;;
  *) projects=$SAME_PROJECTS ;;
esac
[ -n "${projects// /}" ] || { echo "FAIL (wine64): no project to compare (SAME_PROJECTS, SAME_SAMPLE)"; exit 1; }
echo "projects compared: ${projects% } (of $count)"
wine=/usr/lib/wine/wine64

fail() { echo "FAIL (wine64): $*"; exit 1; }
[ -x "$wine" ] || fail "$wine is missing (scripts/setup-debian.sh tests installs wine64)"
rm -rf "$work"
mkdir -p "$work"
# The smoke test's prefix: made once per tree, about 10 s.
export WINEPREFIX=${WINEPREFIX:-$win64/wineprefix} WINEDEBUG=-all
# Settings and the default bank of both plug-ins in a folder of this check's own.
export XDG_CONFIG_HOME=$work/config
printf '0 note_on 0 69 100\n1s note_off 0 69 0\n1.5s note_on 0 45 110\n3s note_off 0 45 0\n' >"$work/notes.txt"

for project in $projects; do
  options=(--vendor-specific "Tlvx,Proj,$project" --vendor-specific Tlvx,Demo,1 -e "$work/notes.txt" -d 6s --no-progress)
  "$linux/bin/talvex-render" "$linux/plugins/Talvex.so" "${options[@]}" -o "$work/linux-$project.wav" >/dev/null
  timeout 300 "$wine" "$win64/bin/talvex-render.exe" "$win64/plugins/Talvex.dll" "${options[@]}" \
    -o "$work/win64-$project.wav" >"$work/win64-$project.log" 2>&1 || { cat "$work/win64-$project.log"; fail "project $project does not render under wine64"; }
  echo "-- project $project"
  python3 "$here/wavtool.py" level "$work/linux-$project.wav" --min-peak-db -40
  # The two builds write different WAV headers (libsndfile, built-in writer):
  # the samples are compared, all of them, from the first frame on.
  python3 "$here/wavtool.py" compare --aligned "$work/linux-$project.wav" "$work/win64-$project.wav" ||
    fail "project $project sounds different on Windows x86_64"
done
echo "OK: the x86_64 DLL under wine64 renders the Linux plug-in's samples"
