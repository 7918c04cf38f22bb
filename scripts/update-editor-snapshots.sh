#!/usr/bin/env bash
# Redraws the editor's reference pictures on purpose, after a deliberate
# change of the drawing or the skin, and the manual's pictures from them.
# Review the changed PNG files before committing them.
#   scripts/update-editor-snapshots.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cmake --build "$root/build/linux" --target test_editor -j2
refs="$root/tests/editor/reference"
rm -f "$refs"/*.png
TALVEX_UPDATE_SNAPSHOTS=1 "$root/build/linux/tests/editor/test_editor" --gtest_filter='EditorSnapshot.*:PlanetPad.Picture*:RightPanelWindow.EachPage*'
images="$root/docs/manual-images"
cp "$refs/tab_0.png" "$images/window.png"
cp "$refs/save_mode.png" "$images/save.png"
cp "$refs/name_entry.png" "$images/rename.png"
cp "$refs/main_menu_mute_key.png" "$images/menu.png"
cp "$refs/standalone_tempo.png" "$images/standalone.png"
# The right-hand panel's satellite, params and sounds pages side by side.
convert "$refs/right_satellite.png" "$refs/right_params.png" "$refs/right_sounds.png" +append "$images/panel.png"
echo "references in $refs, manual pictures in $images"
