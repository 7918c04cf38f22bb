#!/usr/bin/env bash
# The catalogue of the built-in projects, from a fresh Debian 12 machine:
# builds the Linux tree, renders every project's demonstration through the
# plug-in at 44.1 kHz and writes
#   out/library/index.html   per project: tab, name, tracks and their
#                            modules, satellites, loudness, peak, length,
#                            spectrogram and waveform pictures and the render
#   docs/library.md          the same figures as a table (committed)
#   scripts/library-report.sh [OUT_DIR] [TABLE.md]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
out=${1:-out/library}
table=${2:-docs/library.md}
scripts/setup-debian.sh build
# The catalogue needs neither the tests nor their packages (the test command
# turns them back on in the same tree).
scripts/build.sh linux -DTALVEX_TESTS=OFF
mkdir -p "$out" "$(dirname "$table")"
build/linux/bin/talvex-library-report "$out" "$table"
echo "wrote $out/index.html and $table"
