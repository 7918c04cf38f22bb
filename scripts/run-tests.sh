#!/usr/bin/env bash
# The whole test suite, from a fresh Debian 12 machine:
#   1. installs what the build needs (scripts/setup-debian.sh),
#   2. builds and runs every test (build/linux),
#   3. again under AddressSanitizer and UndefinedBehaviorSanitizer (build/asan),
#   4. the threaded tests under ThreadSanitizer (build/tsan),
#   5. every libFuzzer target for a bounded time (build/fuzz; FUZZ_SECONDS each, 20 by default),
#   6. both Windows DLLs and the Windows renderer, smoke-tested under wine
#      (build/win32, build/win64).
# Set TALVEX_STAGES to a subset ("linux asan tsan fuzz windows") to run fewer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
stages=${TALVEX_STAGES:-"linux asan tsan fuzz windows"}
fuzz_seconds=${FUZZ_SECONDS:-20}
jobs=$(nproc)

stage() { printf '\n==== %s ====\n' "$*"; }
has() { [[ " $stages " == *" $1 "* ]]; }

stage "setting up"
scripts/setup-debian.sh

if has linux; then
  stage "build and test (linux)"
  scripts/build.sh linux
  ctest --test-dir build/linux -j "$jobs" --output-on-failure --timeout 600
fi

if has asan; then
  stage "build and test under AddressSanitizer and UndefinedBehaviorSanitizer"
  scripts/build.sh asan
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build/asan -j "$jobs" --output-on-failure --timeout 900
fi

if has tsan; then
  stage "threaded tests under ThreadSanitizer"
  # Only the test folders that label tests "threads" are built here.
  areas=$(grep -l 'LABELS threads' tests/*/CMakeLists.txt | xargs -n1 dirname | xargs -n1 basename | paste -sd';' -)
  scripts/build.sh tsan "-DTALVEX_TEST_AREAS=$areas"
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir build/tsan -L threads -j "$jobs" --output-on-failure --timeout 900
fi

if has fuzz; then
  stage "fuzz targets, ${fuzz_seconds} s each"
  scripts/build.sh fuzz
  for target in build/fuzz/fuzzers/*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus=build/fuzz/corpus/$name
    mkdir -p "$corpus"
    echo "-- $name"
    "$target" -max_total_time="$fuzz_seconds" -print_final_stats=0 -timeout=10 -rss_limit_mb=2048 \
      "$corpus" 2>build/fuzz/$name.log || { tail -n 60 build/fuzz/$name.log; exit 1; }
  done
fi

if has windows; then
  stage "Windows DLLs under wine"
  scripts/build.sh win32
  scripts/build.sh win64
  tests/windows/smoke.sh build/win32 i686
  tests/windows/smoke.sh build/win64 x86_64
fi

stage "all passed"
