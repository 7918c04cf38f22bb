#!/usr/bin/env bash
# Rewrites the committed reference images of the drawing tests, on purpose,
# after a deliberate change of how something is drawn; then look at the
# changed PNGs (git diff --stat, an image viewer) before committing them.
#   scripts/update-snapshots.sh [ctest regex]   (default: every test whose
#                                               name holds "Snapshot")
# The skin is not a snapshot: tools/skingen rewrites resources/skin.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
pattern=${1:-Snapshot}
cmake --build "$root/build/linux" -j "$(nproc)"
TALVEX_UPDATE_SNAPSHOTS=1 ctest --test-dir "$root/build/linux" -R "$pattern" --output-on-failure
git -C "$root" status --short -- '*.png'
