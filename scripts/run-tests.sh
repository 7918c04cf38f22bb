#!/usr/bin/env bash
# The whole test suite, from a fresh Debian 12 machine:
#   1. installs what the build and the tests need (scripts/setup-debian.sh tests),
#   2. builds and runs every test (build/linux),
#   3. again under AddressSanitizer and UndefinedBehaviorSanitizer (build/asan),
#   4. the threaded tests under ThreadSanitizer (build/tsan),
#   5. every libFuzzer target for a bounded time (build/fuzz; FUZZ_SECONDS each, 20 by default),
#   6. both Windows DLLs and the Windows renderer, smoke-tested under wine,
#      the Windows editor window driven under wine on a private Xvfb, and
#      the Windows player started under wine
#      (build/win32, build/win64),
#   7. real hosts: Ardour 7 with the Linux plug-in, the x86_64 DLL under
#      wine64 against the Linux plug-in, LMMS with the i686 DLL
#      (tests/hosts/run.sh; reuses build/linux, build/win32, build/win64).
# The tests that go through every built-in project run in slices that CTest
# spreads over the cores (tests/support/project_slices.h); the sanitizer
# trees go through an evenly spread sample of the library, so their time
# does not grow with it.
# Set TALVEX_STAGES to a subset ("linux asan tsan fuzz windows hosts") to run fewer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
stages=${TALVEX_STAGES:-"linux asan tsan fuzz windows hosts"}
fuzz_seconds=${FUZZ_SECONDS:-20}
jobs=$(nproc)

# Each stage's time is printed when it ends and again in the summary.
times=()
stage_name=""
stage_start=0
end_stage() {
  if [ -n "$stage_name" ]; then
    local took=$(( $(date +%s) - stage_start ))
    times+=("$(printf '%-12s %4d s' "$stage_name" "$took")")
    printf -- '---- %s: %d s\n' "$stage_name" "$took"
  fi
  stage_name=""
}
stage() {
  end_stage
  stage_name=$1
  stage_start=$(date +%s)
  printf '\n==== %s ====\n' "$2"
}
has() { [[ " $stages " == *" $1 "* ]]; }
# A test tree that registers no test is a broken configuration, not a pass.
run_ctest() { ctest --no-tests=error "$@"; }

stage setup "setting up"
scripts/setup-debian.sh tests

if has linux; then
  stage linux "build and test (linux)"
  scripts/build.sh linux
  run_ctest --test-dir build/linux -j "$jobs" --output-on-failure --timeout 600
fi

if has asan; then
  stage asan "build and test under AddressSanitizer and UndefinedBehaviorSanitizer"
  scripts/build.sh asan
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_ctest --test-dir build/asan -j "$jobs" --output-on-failure --timeout 900
fi

if has tsan; then
  stage tsan "threaded tests under ThreadSanitizer"
  # Only the test folders that label tests "threads" are built here.
  areas=$(grep -lE 'LABELS "?([a-z0-9_]+;)*threads' tests/*/CMakeLists.txt | xargs -n1 dirname | xargs -n1 basename | paste -sd';' -)
  scripts/build.sh tsan "-DTALVEX_TEST_AREAS=$areas"
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    run_ctest --test-dir build/tsan -L threads -j "$jobs" --output-on-failure --timeout 900
fi

if has fuzz; then
  stage fuzz "fuzz targets, ${fuzz_seconds} s each"
  scripts/build.sh fuzz
  # The tree itself must stop on undefined behaviour, whatever the options
  # a run is given: its canary overflows and has to be stopped.
  if env -u UBSAN_OPTIONS build/fuzz/fuzz/ub_canary/ub_canary >build/fuzz/ub_canary.log 2>&1; then
    cat build/fuzz/ub_canary.log
    echo "FAIL: the fuzz tree carries on after undefined behaviour"
    exit 1
  fi
  fuzzed=0
  for target in build/fuzz/fuzzers/*; do
    [ -x "$target" ] || continue
    fuzzed=$((fuzzed + 1))
    name=$(basename "$target")
    corpus=build/fuzz/corpus/$name
    mkdir -p "$corpus"
    # The committed seeds (fuzz/corpus/<target>) are read, never written.
    seeds=()
    [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
    echo "-- $name"
    # The fuzz tree is built not to recover from undefined behaviour: a
    # finding stops the target and fails the stage, with its stack.
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 "$target" -max_total_time="$fuzz_seconds" -print_final_stats=0 -timeout=10 -rss_limit_mb=2048 \
      "$corpus" "${seeds[@]}" 2>build/fuzz/$name.log || { tail -n 60 build/fuzz/$name.log; exit 1; }
  done
  if [ "$fuzzed" -eq 0 ]; then echo "FAIL: the fuzz tree holds no fuzz target"; exit 1; fi
fi

if has windows; then
  stage windows "Windows DLLs under wine"
  scripts/build.sh win32
  scripts/build.sh win64
  tests/windows/smoke.sh build/win32 i686
  tests/windows/smoke.sh build/win64 x86_64
  tests/windows/editor_window.sh build/win32 i686
  tests/windows/editor_window.sh build/win64 x86_64
  tests/windows/talvex_editor_window.sh build/win32 i686
  tests/windows/talvex_editor_window.sh build/win64 x86_64
  tests/windows/player.sh build/win32 i686
  tests/windows/player.sh build/win64 x86_64
fi

if has hosts; then
  stage hosts "real hosts: Ardour, wine64, LMMS"
  # Already built when the linux and windows stages ran; then only checked.
  scripts/build.sh linux
  scripts/build.sh win32
  scripts/build.sh win64
  tests/hosts/run.sh build/linux build/win32 build/win64 build/hosts
fi

end_stage
printf '\n==== all passed ====\n'
printf '%s\n' "${times[@]}"
