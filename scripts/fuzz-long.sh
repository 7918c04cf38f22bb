#!/usr/bin/env bash
# The long fuzzing campaign, outside CI: every pure parser target for a
# number of executions (10^7 by default), every target that renders for a
# time budget (an hour by default), all under AddressSanitizer and
# UndefinedBehaviorSanitizer (the fuzz tree), starting from the committed
# seeds. Prints executions and executions per second per target.
#
#   scripts/fuzz-long.sh [target ...]          (default: every target)
#
# FUZZ_RUNS               executions per parser target (10000000)
# FUZZ_RENDER_SECONDS     seconds per rendering target (3600)
# FUZZ_JOBS               targets run at the same time (1)
# FUZZ_UPDATE_SEEDS=1     afterwards, merge what was found into fuzz/corpus/
#                         (minimised: only inputs that add coverage)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
runs=${FUZZ_RUNS:-10000000}
render_seconds=${FUZZ_RENDER_SECONDS:-3600}
jobs=${FUZZ_JOBS:-1}

# Targets that build or play a whole instance (loader, programs applied,
# instances created), create modules for each input (the chunk targets, the
# library reader, which writes every module's state) or draw (text through
# the font rasteriser, the sample store's decoding) run at a few hundred to
# a few thousand executions per CPU second under the sanitizers and get a
# time budget; the pure parsers (WAV, AIFF, PNG, settings store) run at
# 30,000 to 300,000 and get the execution count.
render_targets=" fuzz_project_loader fuzz_program_chunk fuzz_host_settings fuzz_bank_file fuzz_module_chunks \
 fuzz_state_image fuzz_synth_chunk fuzz_sampler_chunk fuzz_drums_chunk fuzz_library_reader fuzz_text_decoder \
 fuzz_sample_store "

scripts/build.sh fuzz
out=build/fuzz/long
mkdir -p "$out"

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for t in build/fuzz/fuzzers/*; do [ -x "$t" ] && targets+=("$(basename "$t")"); done
fi

run_one() {
  local name=$1
  local binary=build/fuzz/fuzzers/$name
  local corpus=$out/corpus/$name
  local seeds=fuzz/corpus/$name
  mkdir -p "$corpus"
  local limit
  if [[ "$render_targets" == *" $name "* ]]; then
    limit=(-max_total_time="$render_seconds")
  else
    limit=(-runs="$runs")
  fi
  local dirs=("$corpus")
  [ -d "$seeds" ] && dirs+=("$seeds")
  local start end status=0 cpu
  start=$(date +%s)
  # Undefined behaviour stops a target as a crash does; CPU seconds are kept
  # beside the wall clock, since exec/s on a busy machine says little.
  local TIMEFORMAT='%U %S'
  cpu=$( { time UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 "$binary" "${limit[@]}" -print_final_stats=1 \
    -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$out/$name-" "${dirs[@]}" >"$out/$name.log" 2>&1 \
    || echo "status $?" >"$out/$name.status"; } 2>&1 )
  if [ -f "$out/$name.status" ]; then status=$(cut -d' ' -f2 "$out/$name.status"); rm -f "$out/$name.status"; fi
  end=$(date +%s)
  local done_runs
  done_runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$out/$name.log" | grep -o '[0-9]*$' || echo 0)
  local seconds=$((end - start > 0 ? end - start : 1))
  local cpu_seconds
  cpu_seconds=$(echo "$cpu" | awk '{ s = $1 + $2; print (s < 1 ? 1 : int(s)) }')
  local verdict=ok
  [ "$status" -ne 0 ] && verdict="FAILED (see $out/$name.log)"
  printf '%-24s %12s runs %7s s %10s exec/s %10s exec per CPU s  %s\n' "$name" "$done_runs" "$seconds" \
    "$((done_runs / seconds))" "$((done_runs / cpu_seconds))" "$verdict" | tee -a "$out/summary.txt"
  if [ "$status" -eq 0 ] && [ "${FUZZ_UPDATE_SEEDS:-0}" = 1 ]; then
    local merged=$out/merged/$name
    rm -rf "$merged"
    mkdir -p "$merged"
    "$binary" -merge=1 -timeout=10 -rss_limit_mb=2048 "$merged" "${dirs[@]}" >"$out/$name.merge.log" 2>&1
    rm -rf "$seeds"
    mkdir -p "$seeds"
    cp "$merged"/* "$seeds"/ 2>/dev/null || true
  fi
  return "$status"
}

: >"$out/summary.txt"
failed=0
running=0
for name in "${targets[@]}"; do
  run_one "$name" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
done
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
echo "summary in $out/summary.txt"
exit "$failed"
