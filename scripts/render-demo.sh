#!/usr/bin/env bash
# The main job, from a fresh Debian 12 machine: installs what the build
# needs, builds the Linux plug-in and talvex-render, and renders the
# plug-in's default program (user program 0) playing its project's
# demonstration performance to out/talvex-demo.wav.
#   scripts/render-demo.sh [OUTPUT.wav] [extra talvex-render options]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
output=${1:-out/talvex-demo.wav}
shift || true
scripts/setup-debian.sh build
# The main job needs neither the tests nor their packages; the test command
# turns them back on in the same tree (scripts/build.sh passes every option).
scripts/build.sh linux -DTALVEX_TESTS=OFF
mkdir -p "$(dirname "$output")"
# The default program (user program 0) holds the first built-in project with
# its own performance; Tlvx/Demo with opt 1 starts its demonstration, as the
# editor's Preview switch does.
build/linux/bin/talvex-render build/linux/plugins/Talvex.so -o "$output" -d 20s \
  --vendor-specific Tlvx,Demo,1 "$@"
echo "wrote $output"
