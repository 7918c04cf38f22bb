#!/usr/bin/env bash
# The threaded program-change campaign, outside CI: 10,000 program changes
# (host setProgram, setChunk and built-in project loads from three threads,
# MIDI program changes carried out by the timer) while a fourth thread
# renders and a fifth automates the 80 host parameters, under
# ThreadSanitizer (the tsan tree). CI runs the same test with 300 changes.
#
#   scripts/campaign-threads.sh [changes]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
changes=${1:-10000}
scripts/build.sh tsan "-DTALVEX_TEST_AREAS=campaign"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 TALVEX_CAMPAIGN_CHANGES=$changes \
  build/tsan/tests/campaign/test_campaign --gtest_filter='ProgramChangeThreads.*'
