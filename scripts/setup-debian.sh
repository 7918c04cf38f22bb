#!/usr/bin/env bash
# Installs what Talvex needs on Debian 12. Safe to run again.
#   scripts/setup-debian.sh build   what building the plug-in and rendering need
#                                   (the main job, scripts/render-demo.sh)
#   scripts/setup-debian.sh tests   all of that, plus what the test stages need:
#                                   sanitizer and fuzz compilers, the mingw-w64
#                                   cross compilers and wine, peer plug-ins, the
#                                   real hosts and the X tools of the editor tests
set -euo pipefail

set_name=${1:-tests}

# Building the plug-in, talvex-render and the stand-alone player, rendering,
# and the user manual's PDF (python3-reportlab).
build_packages=(
  build-essential cmake pkg-config ccache python3
  libsndfile1-dev
  libstb-dev libxcb1-dev libxcb-keysyms1-dev
  fonts-liberation fonts-liberation2
  librtaudio-dev librtmidi-dev libyaml-cpp-dev libebur128-dev
  python3-reportlab
)

# The test stages only (scripts/run-tests.sh).
test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
  wine wine64 wine32:i386
  amsynth zynaddsubfx-vst dpf-plugins-vst lsp-plugins-vst
  xvfb xauth xdotool imagemagick x11-apps zenity jackd2 libjack-jackd2-dev
  ardour
  lmms:i386 lmms-vst-server:i386
)

case "$set_name" in
  build) packages=("${build_packages[@]}") ;;
  tests) packages=("${build_packages[@]}" "${test_packages[@]}") ;;
  *) echo "usage: $0 build|tests" >&2; exit 2 ;;
esac

sudo_cmd=""
if [ "$(id -u)" -ne 0 ]; then sudo_cmd="sudo"; fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup ($set_name): every package is installed"
  exit 0
fi

echo "setup ($set_name): installing ${missing[*]}"
# wine32 and the LMMS that carries VeSTige come from the i386 architecture.
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo_cmd dpkg --add-architecture i386
fi
apt_get=(apt-get -o DPkg::Lock::Timeout=900)
# A mirror caught mid-sync fails an index now and then ("File has unexpected
# size"): try again, and if one index still fails, go on with what was read;
# the install below fails plainly if a package is really missing.
index_log=$(mktemp)
trap 'rm -f "$index_log"' EXIT
for attempt in 1 2 3; do
  if $sudo_cmd "${apt_get[@]}" update -qq 2>"$index_log"; then break; fi
  cat "$index_log" >&2
  echo "setup ($set_name): package index update failed (attempt $attempt)" >&2
  [ "$attempt" -lt 3 ] && sleep 15
done
# jackd2 asks about real-time priority; the answer does not matter here.
echo "jackd2 jackd/tweak_rt_limits boolean false" | $sudo_cmd debconf-set-selections 2>/dev/null || true
apt_install() { $sudo_cmd env DEBIAN_FRONTEND=noninteractive "${apt_get[@]}" install -y -qq --no-install-recommends "$@" >/dev/null; }

# When the mirror's i386 index could not be read, the i386 packages cannot
# match the amd64 libraries already updated from it, and apt refuses them.
# The rest is installed, and the reason is written where the 32-bit checks
# (wine32, LMMS) read it: they then say SKIPPED with it. Nothing is written,
# and the install fails as before, for any other cause.
i386_note=/var/lib/talvex-setup/i386-packages-missing
if apt_install "${missing[@]}"; then
  [ -e "$i386_note" ] && $sudo_cmd rm -f "$i386_note"
elif grep -q "binary-i386" "$index_log"; then
  others=()
  for p in "${missing[@]}"; do [[ "$p" == *:i386 ]] || others+=("$p"); done
  [ ${#others[@]} -eq 0 ] || apt_install "${others[@]}"
  $sudo_cmd mkdir -p "$(dirname "$i386_note")"
  grep -m1 "binary-i386" "$index_log" | $sudo_cmd tee "$i386_note" >/dev/null
  echo "setup ($set_name): WARNING: the i386 packages could not be installed, the mirror's i386 index failed:" >&2
  cat "$i386_note" >&2
else
  exit 1
fi
echo "setup ($set_name): done"
