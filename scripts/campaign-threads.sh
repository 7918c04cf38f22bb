#!/usr/bin/env bash
# The threaded program-change campaign, outside CI: 10,000 program changes
# (host setProgram, setChunk and built-in project loads from three threads,
# MIDI program changes carried out by the timer) while a fourth thread
# renders and a fifth automates the 80 host parameters, under
# ThreadSanitizer (the tsan tree). CI runs the same test with 300 changes.
#
#   scripts/campaign-threads.sh [changes] [runs]
#
# With runs > 1 the changes are split into that many consecutive runs, each
# with a seed of its own (TALVEX_CAMPAIGN_SEED + 1, + 2, ...), so that a busy
# machine still reports the runs that finished; every run prints its own
# figures, a failed run does not stop the others, and the script fails if
# any run did.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
changes=${1:-10000}
runs=${2:-1}
base_seed=${TALVEX_CAMPAIGN_SEED:-0}
scripts/build.sh tsan "-DTALVEX_TEST_AREAS=campaign"
each=$((changes / runs))
failed=0
for ((run = 1; run <= runs; ++run)); do
  n=$each
  [ "$run" -eq "$runs" ] && n=$((changes - each * (runs - 1)))
  seed=$base_seed
  [ "$runs" -gt 1 ] && seed=$((base_seed + run))
  echo "run $run of $runs: $n changes, seed $seed ($(date -u +%H:%M:%S))"
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 TALVEX_CAMPAIGN_CHANGES=$n TALVEX_CAMPAIGN_SEED=$seed \
    build/tsan/tests/campaign/test_campaign --gtest_filter='ProgramChangeThreads.*' || failed=1
done
exit "$failed"
