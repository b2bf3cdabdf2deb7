#!/usr/bin/env bash
# Installs the Debian packages Tolvane needs to build, run and test; with
# --fuzz also clang and its libFuzzer for the fuzz preset.
# A machine that already has them installs nothing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config # compiler and build; readelf comes with g++
  qt6-base-dev                     # Qt Core, Gui and Widgets
  fonts-dejavu-core                # a font for windows drawn offscreen
  libjpeg62-turbo-dev              # JPEG frames
  libavformat-dev libavcodec-dev   # MXF media: the demuxer, the decoders
  libavutil-dev libswscale-dev     # and the picture conversion
  libgtest-dev libgmock-dev        # tests (GoogleTest's CMake package names both)
  dpkg-dev desktop-file-utils      # the Debian package: dpkg-shlibdeps, the entry's check
  bindfs                           # tests: a second mount of one storage through FUSE
  git                              # the build date: the last commit's
)
if [ "${1:-}" = --fuzz ]; then
  packages+=(clang libclang-rt-dev) # clang, its libFuzzer and sanitizer runtimes
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg -s "$p" 2>/dev/null | grep -q '^Status: install ok installed'; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

install_line="apt-get install -y --no-install-recommends ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Not root and no sudo here: as root, run" >&2
    echo "  apt-get update && $install_line" >&2
    exit 1
  fi
  sudo=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
