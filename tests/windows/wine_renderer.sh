# Sourced by the editor window scripts once build, arch, work, renderer and
# WINEPREFIX are set: picks the wine of the architecture, starts from an
# empty work folder, gives run_wine and fail, and stops unless the renderer
# starts under wine (a kernel that cannot run 32-bit programs is a skip).
if [ "$arch" = i686 ]; then wine=$(command -v wine || true); else wine=/usr/lib/wine/wine64; fi
rm -rf "$work"
mkdir -p "$work"
run_wine() { timeout 300 "$wine" "$@"; }
. "$here/wine_start.sh"
fail() { echo "FAIL ($arch): $*"; exit 1; }

# A wineserver that an earlier check left running on this prefix (it stays
# a few seconds after its last program) belongs to no X display, or to
# another one: the windows made through it are never created. Stop it, so
# that this check's programs start one on this display.
WINEPREFIX=$WINEPREFIX timeout 60 wineserver -k 2>/dev/null || true
WINEPREFIX=$WINEPREFIX timeout 60 wineserver -w 2>/dev/null || true

# Without wine32, wine starts no 32-bit program yet exits 0: ask first.
if [ "$arch" = i686 ] && reason=$(i386_packages_missing wine32:i386); then
  echo "SKIPPED: $reason"
  exit 0
fi
if [ -z "$wine" ] || ! wine_starts "$renderer" "$work/help.log"; then
  if [ "$arch" = i686 ] && grep -q "Exec format error" "$work/help.log"; then
    echo "SKIPPED: this kernel cannot run 32-bit programs, so wine cannot run the $arch editor host"
    exit 0
  fi
  cat "$work/help.log"
  echo "FAIL: the $arch renderer does not start under wine"
  exit 1
fi
