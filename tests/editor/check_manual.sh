#!/usr/bin/env bash
# The manual builds: a PDF of several pages carrying every picture the
# Markdown names, and an HTML page whose pictures exist beside it.
set -euo pipefail
root=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$root/scripts/build-manual.sh" "$out" >/dev/null
pdf="$out/Talvex_UserManual.pdf"
head -c 5 "$pdf" | grep -q '%PDF-' || { echo "not a PDF"; exit 1; }
pictures=$(grep -c '^!\[' "$root/docs/manual.md")
# Colour images only: ReportLab adds one shared alpha mask besides.
images=$(grep -a -c '/ColorSpace /DeviceRGB' "$pdf")
pages=$(grep -a -c '/Type /Page$' "$pdf" || true)
[ "$pictures" -ge 5 ] || { echo "the manual shows $pictures pictures"; exit 1; }
[ "$images" -eq "$pictures" ] || { echo "PDF holds $images images, the manual names $pictures"; exit 1; }
[ "$pages" -ge 3 ] || { echo "PDF has $pages pages"; exit 1; }
for src in $(grep -o '^!\[.*\](\(.*\))' "$root/docs/manual.md" | sed 's/.*(\(.*\))/\1/'); do
  [ -s "$out/$src" ] || { echo "HTML picture $src missing"; exit 1; }
  grep -q "src='$src'" "$out/Talvex_UserManual.html" || { echo "HTML does not show $src"; exit 1; }
done
echo "manual: $pages pages, $images pictures"
