#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need,
# skipping those already present.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  portaudio19-dev libsndfile1-dev libgif-dev
  qt6-base-dev libgl-dev fonts-liberation
  libgtest-dev libgmock-dev libbenchmark-dev libfftw3-dev libspeexdsp-dev
  jackd2 jack-tools libasound2-plugins sox espeak-ng
  xvfb xauth imagemagick xdotool clang-19 libclang-rt-19-dev
  pipewire pipewire-bin pipewire-jack wireplumber dbus pulseaudio pulseaudio-utils
  libsoxr-dev flac vorbis-tools ccache clang-format desktop-file-utils sndfile-programs
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
