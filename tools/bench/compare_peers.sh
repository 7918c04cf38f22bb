#!/usr/bin/env bash
# Builds the benchmarks (Release) and measures Talvex's synthesizer and
# effects against peer VST 2.4 plug-ins from Debian, then the effect and synth
# throughput benchmarks. Prints the comparison table and leaves everything in
# the results folder.
#
#   tools/bench/compare_peers.sh [--install] [--build-dir DIR] [--results DIR]
#                                [--quick] [-- bench_compare options]
#
#   --install     apt-get install the peer plug-in packages that are missing
#   --quick       2 s passes, 3 repetitions (a smoke run; figures are noisy)
#   after --       passed to bench_compare (--only delay,overdrive, --seconds 20, ...)
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${TMPDIR:-/tmp}/talvex-bench-release"
results=""
install=0
quick=0
extra=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    --install) install=1 ;;
    --quick) quick=1 ;;
    --build-dir) build="$2"; shift ;;
    --results) results="$2"; shift ;;
    --) shift; extra=("$@"); break ;;
    -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
    *) echo "unknown option $1" >&2; exit 1 ;;
  esac
  shift
done
results="${results:-$build/results}"

# Peers: package and the plug-in file each comparison loads.
peers=(
  "amsynth:/usr/lib/vst/amsynth_vst.so"
  "dpf-plugins-vst:/usr/lib/vst/MaFreeverb-vst.so"
  "zynaddsubfx-vst:/usr/lib/vst/ZynEcho.so"
  "zynaddsubfx-vst:/usr/lib/vst/ZynChorus.so"
  "zynaddsubfx-vst:/usr/lib/vst/ZynDistortion.so"
  "lsp-plugins-vst:/usr/lib/vst/lsp-plugins/compressor-stereo.so"
  "lsp-plugins-vst:/usr/lib/vst/lsp-plugins/limiter-stereo.so"
)
missing=()
for peer in "${peers[@]}"; do
  [[ -f "${peer#*:}" ]] || missing+=("${peer%%:*}")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)
  if [[ $install -eq 1 ]]; then
    apt-get install -y "${missing[@]}"
  else
    echo "missing peer packages: ${missing[*]} (rerun with --install); their comparisons will fail" >&2
  fi
fi

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTALVEX_BENCH=ON -DTALVEX_TESTS=OFF >/dev/null
make -C "$build" -j"$(nproc)" bench_compare bench_effects bench_synth >/dev/null
mkdir -p "$results"

# amsynth keeps its banks and settings under HOME; give it a scratch one with
# the polyphony set, so that all sixteen notes of the chord sound.
scratch_home="$(mktemp -d)"
trap 'rm -rf "$scratch_home"' EXIT
mkdir -p "$scratch_home/.local/share/amsynth" "$scratch_home/.config/amsynth"
printf 'polyphony 16\n' > "$scratch_home/.config/amsynth/config"

compare_args=(--voices-scan --markdown "$results/compare.md")
effects_args=(--benchmark_out="$results/effects.json" --benchmark_out_format=json)
synth_args=(--benchmark_out="$results/synth.json" --benchmark_out_format=json)
if [[ $quick -eq 1 ]]; then
  compare_args+=(--seconds 2 --repetitions 3)
  effects_args+=(--benchmark_min_time=0.1)
  synth_args+=(--benchmark_min_time=0.1)
fi

echo "== peer comparison (details in $results/compare.txt)"
HOME="$scratch_home" "$build/bench/compare/bench_compare" "${compare_args[@]}" "${extra[@]}" | tee "$results/compare.txt"
echo
echo "== effect modules alone"
"$build/bench/effects/bench_effects" "${effects_args[@]}" | tee "$results/effects.txt"
echo
echo "== synthesizer alone"
"$build/bench/synth/bench_synth" "${synth_args[@]}" | tee "$results/synth.txt"
echo
cat "$results/compare.md"
