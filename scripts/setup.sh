#!/usr/bin/env bash
# Installs what the build, the tests and the program need, from Debian's packages.
# Quick when everything is there already.
set -euo pipefail
packages=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libgl-dev
  libcurl4-openssl-dev libssl-dev duktape-dev libpcre2-dev
  openssl python3
  xvfb xauth xclip xdotool x11-utils imagemagick
  fonts-noto-cjk fonts-noto-color-emoji
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get -o DPkg::Lock::Timeout=600 update -qq
  apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
fi
