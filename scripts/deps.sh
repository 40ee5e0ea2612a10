#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running the board need.
# Does nothing when every one of them is already there.
set -euo pipefail

packages=(
  # build
  g++ make cmake pkgconf
  qt6-base-dev libgl-dev
  libsdl2-dev
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # the Gothic font the layout's metrics are made for
  fonts-ipafont-gothic
  # test fixtures and end-to-end checks
  ffmpeg xvfb xauth xdotool x11-utils imagemagick
  pulseaudio pulseaudio-utils python3
  # fault tests: chattr makes a list that cannot be replaced
  e2fsprogs
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
