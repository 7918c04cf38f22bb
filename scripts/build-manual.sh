#!/usr/bin/env bash
# Builds the user manual (PDF and HTML) from docs/manual.md into
# build/manual/, with ReportLab (python3-reportlab). Install the PDF beside
# the plug-in (Linux) or as KESTRALA\KestralaTalvex_UserManual.pdf under the
# Program Files folder (Windows): the editor's "User Manual ..." opens it there.
#   scripts/build-manual.sh [OUTPUT_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/manual}
/usr/bin/python3 "$root/tools/manual/build_manual.py" "$root/docs/manual.md" "$out"
echo "manual: $out/Talvex_UserManual.pdf"
