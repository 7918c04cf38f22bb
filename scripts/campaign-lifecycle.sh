#!/usr/bin/env bash
# The lifecycle campaign, outside CI: 1,000 create / open / resume / render /
# suspend / close cycles, one in four closed while the timer carries out a
# MIDI program change, under AddressSanitizer with LeakSanitizer (the asan
# tree), and the interrupted-save campaign with as many kills. CI runs 50
# cycles and 40 kills.
#
#   scripts/campaign-lifecycle.sh [cycles] [kills]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cycles=${1:-1000}
kills=${2:-1000}
scripts/build.sh asan "-DTALVEX_TEST_AREAS=campaign"
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
TALVEX_CAMPAIGN_CYCLES=$cycles build/asan/tests/campaign/test_campaign --gtest_filter='Lifecycle.*'
TALVEX_CAMPAIGN_KILLS=$kills build/asan/tests/campaign/test_campaign --gtest_filter='BankSaveKill.*'
