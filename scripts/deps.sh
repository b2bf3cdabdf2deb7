#!/usr/bin/env bash
# Installs the Debian packages Tolvane needs to build, run and test.
# A machine that already has them installs nothing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev fonts-dejavu-core
  libjpeg62-turbo-dev
  libgtest-dev libgmock-dev libbenchmark-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg -s "$p" >/dev/null 2>&1 || ! dpkg -s "$p" 2>/dev/null | grep -q '^Status: install ok installed'; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
