#!/usr/bin/env bash
# Installs everything Talvex needs to build and test on Debian 12: the
# native toolchain and libraries, clang for the fuzz targets, the mingw-w64
# cross compilers for the Windows DLLs, wine to run them, and amsynth (a
# VST 2.4 instrument the renderer is checked against). Safe to run again.
set -euo pipefail

sudo_cmd=""
if [ "$(id -u)" -ne 0 ]; then sudo_cmd="sudo"; fi

packages=(
  build-essential cmake pkg-config ccache python3
  libgtest-dev libgmock-dev libbenchmark-dev libsndfile1-dev
  clang libclang-rt-14-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
  wine wine64 wine32:i386
  amsynth
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: every package is installed"
  exit 0
fi

echo "setup: installing ${missing[*]}"
# wine32 comes from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo_cmd dpkg --add-architecture i386
fi
$sudo_cmd apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: done"
