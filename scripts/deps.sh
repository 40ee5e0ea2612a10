#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running the board need.
# Does nothing when every one of them is already there.
#
# SORVANE_PIPEWIRE=1 adds PipeWire with its PulseAudio layer (Debian 12's desktop sound server),
# so the end-to-end test and the meters run on it as well as on PulseAudio; CI sets it. The
# tests always start their own private server, but Debian's packages also enable PipeWire's
# user services for every account, which would make a desktop that runs PulseAudio switch at
# its next login. On such a machine the services the install enabled are disabled again.
#
# SORVANE_PACKAGING=1 adds what building and checking the Debian package needs (`make package`,
# `make test-package`): lintian alone brings dozens of Perl packages that running and testing
# the board never use.
set -euo pipefail

packages=(
  # build
  g++ make cmake pkgconf
  qt6-base-dev libgl-dev
  libsdl2-dev
  # native PulseAudio and PipeWire streams, RealtimeKit over the system bus
  libpulse-dev libpipewire-0.3-dev libdbus-1-dev
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
# (the tests give their private PipeWire a session bus of its own: dbus-daemon)
[ "${SORVANE_PIPEWIRE:-}" = 1 ] && packages+=(pipewire pipewire-bin pipewire-pulse wireplumber rtkit dbus-daemon)
[ "${SORVANE_PACKAGING:-}" = 1 ] && packages+=(dpkg-dev file lintian desktop-file-utils appstream)
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
enabled() { systemctl --global is-enabled "$1" 2>/dev/null | grep -qx enabled; }

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

# The session's sound server before: PulseAudio's socket enabled and no PipeWire layer yet.
units=(pipewire.socket pipewire.service wireplumber.service pipewire-pulse.socket pipewire-pulse.service)
was_off=()
if command -v systemctl >/dev/null && enabled pulseaudio.socket && ! installed pipewire-pulse; then
  for u in "${units[@]}"; do enabled "$u" || was_off+=("$u"); done
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"

off=()
for u in "${was_off[@]}"; do
  if enabled "$u"; then
    $sudo systemctl --global disable --quiet "$u"
    off+=("$u")
  fi
done
if [ ${#off[@]} -gt 0 ]; then
  echo "PipeWire is installed for the tests only: sessions here keep PulseAudio (disabled for every account: ${off[*]})."
  echo "To switch sessions to PipeWire: ${sudo:+$sudo }systemctl --global enable ${off[*]};" \
       "${sudo:+$sudo }systemctl --global disable pulseaudio.socket pulseaudio.service; then log in again."
fi
