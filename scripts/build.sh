#!/usr/bin/env bash
# Configures and builds one tree.
#   scripts/build.sh linux|asan|tsan|fuzz|bench|win32|win64 [extra cmake arguments]
# Trees land in build/<kind>/; plug-ins in build/<kind>/plugins/.
# Every project option is passed on each run, so a tree never keeps a value
# that an earlier run (another script, another stage) left in its cache;
# extra arguments come last and win. Options a tree does not use (the test
# folder list when the tests are off) are not worth a warning.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kind=$1
shift
jobs=$(nproc)
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  # Objects are shared between trees and checkouts: paths below the
  # checkout are hashed relative to it, and the build folder is not hashed.
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
fi
# Our own trees stop on warnings; the default of the option is off for packagers.
defaults=(-DTALVEX_WERROR=ON -DTALVEX_TESTS=ON -DTALVEX_BENCH=OFF -DTALVEX_SANITIZE=OFF
          -DTALVEX_TSAN=OFF -DTALVEX_FUZZ=OFF -DTALVEX_TEST_AREAS=)
case "$kind" in
  linux) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  bench) args=(-DCMAKE_BUILD_TYPE=Release -DTALVEX_BENCH=ON -DTALVEX_TESTS=OFF) ;;
  asan) args=(-DCMAKE_BUILD_TYPE=Debug -DTALVEX_SANITIZE=ON) ;;
  tsan) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVEX_TSAN=ON) ;;
  fuzz) args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALVEX_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  win32) args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake") ;;
  win64) args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake") ;;
  *) echo "unknown tree $kind" >&2; exit 1 ;;
esac
cmake --no-warn-unused-cli -S "$root" -B "$root/build/$kind" "${defaults[@]}" "${args[@]}" "${launcher[@]}" "$@" >/dev/null
cmake --build "$root/build/$kind" -j "$jobs"
