#!/usr/bin/env bash
# Measures Talvex's speed and memory and writes docs/performance.md.
#
#   scripts/bench.sh [--quick] [--instructions] [--no-build] [--output FILE]
#
# Builds the Release benchmark tree (build/bench), then:
#  1. Talvex's synthesizer and effects against peer VST 2.4 plug-ins from
#     Debian, both sides open in one process and their timed passes taken in
#     turn, so that a change in the machine's load falls on both alike
#     (bench_compare; CPU time of the rendering thread).
#  2. Every built-in project through the plug-in object: load time, user
#     program change, demonstration render speed at 512 and 64 frames, worst
#     block, idle blocks, resident memory, memory over 1000 project changes
#     (bench_projects).
#  3. A block-size sweep of the heaviest project.
#  4. With --instructions: each comparison again under valgrind's callgrind,
#     one side at a time, counting the instructions of the timed rendering
#     only. Instruction counts do not depend on the machine's load; on a
#     shared machine they are the steadier ratio (they do not see cache
#     misses or how fast each instruction runs).
#
#   --quick         short passes (a smoke run; figures are noisy)
#   --no-build      use the tree as it is
#   --output FILE   write the note elsewhere (default docs/performance.md)
# Peer packages: zynaddsubfx-vst dpf-plugins-vst lsp-plugins-vst amsynth
# (scripts/setup-debian.sh tests installs them).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
quick=0
instructions=0
build=1
output="$root/docs/performance.md"
command_line="scripts/bench.sh $*"
while [[ $# -gt 0 ]]; do
  case "$1" in
    --quick) quick=1 ;;
    --instructions) instructions=1 ;;
    --no-build) build=0 ;;
    --output) output="$2"; shift ;;
    -h|--help) sed -n '2,27p' "$0"; exit 0 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

tree="$root/build/bench"
results="$tree/results"
if [[ $build -eq 1 ]]; then
  "$root/scripts/build.sh" bench >/dev/null
fi
mkdir -p "$results"

# amsynth keeps its banks and settings under HOME; give it a scratch one with
# the polyphony set, so that all sixteen notes of the chord sound.
scratch_home=$(mktemp -d)
trap 'rm -rf "$scratch_home"' EXIT
mkdir -p "$scratch_home/.local/share/amsynth" "$scratch_home/.config/amsynth"
printf 'polyphony 16\n' > "$scratch_home/.config/amsynth/config"

cpu=$(lscpu | sed -n 's/^Model name:[[:space:]]*//p' | head -1)
cores=$(nproc)
simd=$(grep -o -w 'avx512f\|avx2\|sse4_2\|sse2' /proc/cpuinfo | sort -u | tr '\n' ' ')
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
started=$(date -u '+%Y-%m-%d %H:%M UTC')
commit=$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)

if [[ $quick -eq 1 ]]; then
  compare_args=(--seconds 2 --repetitions 3)
  project_args=(--repetitions 3 --changes 200)
else
  compare_args=(--seconds 4 --repetitions 7)
  project_args=(--repetitions 5 --changes 1000)
fi

echo "== peers (interleaved passes)"
HOME="$scratch_home" "$tree/bench/compare/bench_compare" "${compare_args[@]}" \
  --markdown "$results/compare.md" | tee "$results/compare.txt"

echo "== projects"
"$tree/bench/engine/bench_projects" "${project_args[@]}" --blocks 512,64 \
  --markdown "$results/projects.md" | tee "$results/projects.txt"
heaviest=$(sed -n 's/^heaviest \([^;]*\);.*/\1/p' "$results/projects.txt")

echo "== block sizes ($heaviest)"
"$tree/bench/engine/bench_projects" --repetitions 3 --changes 0 --only "$heaviest" \
  --blocks 1024,512,256,128,64,32 --markdown "$results/sweep.md" | tee "$results/sweep.txt"

if [[ $instructions -eq 1 ]]; then
  echo "== instructions (callgrind)"
  command -v valgrind >/dev/null || { echo "valgrind is not installed" >&2; exit 1; }
  : > "$results/instructions.md"
  printf '| comparison | Talvex instructions per unit-second | peer instructions per unit-second | ratio |\n|---|---:|---:|---:|\n' \
    >> "$results/instructions.md"
  names=$(sed -n 's/^| \([a-z]*\) | .*/\1/p' "$results/compare.md" | grep -v '^comparison$' || true)
  for name in $names; do
    declare -A per_unit=()
    for side in talvex peer; do
      out="$results/callgrind.$name.$side"
      HOME="$scratch_home" valgrind --tool=callgrind --callgrind-out-file="$out" \
        --toggle-collect='*RenderTimer::timePass*' \
        "$tree/bench/compare/bench_compare" --only "$name" --side "$side" --seconds 1 --repetitions 1 \
        > "$out.txt" 2>/dev/null || true
      total=$(sed -n 's/^totals: *\([0-9]*\).*/\1/p' "$out" | head -1)
      units=$(sed -n 's/.*units=\([0-9]*\).*/\1/p' "$out.txt" | head -1)
      if [[ -n "$total" && -n "$units" && "$units" -gt 0 ]]; then
        per_unit[$side]=$(( total / units ))
      else
        per_unit[$side]=""
      fi
    done
    if [[ -n "${per_unit[talvex]}" && -n "${per_unit[peer]}" && "${per_unit[peer]}" -gt 0 ]]; then
      ratio=$(awk -v t="${per_unit[talvex]}" -v p="${per_unit[peer]}" 'BEGIN { printf "%.2f", t / p }')
      printf '| %s | %s | %s | %s |\n' "$name" "${per_unit[talvex]}" "${per_unit[peer]}" "$ratio" \
        >> "$results/instructions.md"
    else
      printf '| %s | | | not measured |\n' "$name" >> "$results/instructions.md"
    fi
    unset per_unit
  done
  cat "$results/instructions.md"
fi

load_after=$(cut -d' ' -f1-3 /proc/loadavg)
mkdir -p "$(dirname "$output")"
{
  echo "# Performance"
  echo
  echo "Measured $started on commit $commit: $cpu, $cores logical cores (${simd% }), load average $load_before at"
  echo "the start and $load_after at the end. Reproduce with \`$command_line\` (add \`--instructions\` for the"
  echo "callgrind counts)."
  echo
  echo "## Against peer plug-ins"
  echo
  echo "Talvex's module and a peer VST 2.4 plug-in from Debian are driven through the VST interface by one host"
  echo "(bench/compare), both open at once and their timed passes taken in turn. Effects get the same swelling"
  echo "stereo noise and are compared per channel; the synthesizers play the same held 16-note chord and are"
  echo "compared per voice. Denormals are flushed on both sides, as hosts do. The ratio is Talvex's cost over"
  echo "the peer's; below 1 Talvex is cheaper."
  echo
  cat "$results/compare.md"
  echo
  if [[ -s "$results/instructions.md" && $instructions -eq 1 ]]; then
    echo "### Instruction counts (callgrind)"
    echo
    echo "The same comparisons, one side at a time under valgrind's callgrind, counting only the timed rendering"
    echo "(1 s of audio). Counts do not depend on the machine's load; they do not weigh cache misses or"
    echo "instruction speeds, so they are the shape of the cost rather than its time."
    echo
    cat "$results/instructions.md"
    echo
  fi
  echo "## Built-in projects"
  echo
  echo "Through the whole plug-in object (bench/engine/project_bench.cpp): load time of the project (the"
  echo "loading thread's CPU time and the wall clock, median), change to a user program that holds it, its"
  echo "demonstration rendered start to end (speed as audio time over the rendering thread's CPU time for the"
  echo "whole render; worst block as the least monotonic-clock time the block took over the repetitions, over"
  echo "the block's duration), and the mean cost of a block once the demonstration has ended, the transport"
  echo "is stopped and every tail has died away (idle), all at 44.1 kHz. The table after the projects holds"
  echo "each goal against the project dearest for it; the block-size sweep below runs the heaviest project alone"
  echo "in a fresh process, so its resident size is what that project needs by itself."
  echo
  cat "$results/projects.md"
  echo
  echo "## Block sizes"
  echo
  echo "The heaviest project's demonstration at each block size."
  echo
  cat "$results/sweep.md"
  echo
  echo "## Earlier measurements"
  echo
  echo "What each optimisation changed, measured when it was made, is kept in"
  echo "[performance-history.md](performance-history.md)."
  echo
  echo "## Raw output"
  echo
  echo "The full output of every program is left in build/bench/results/."
} > "$output"
echo "wrote $output"
