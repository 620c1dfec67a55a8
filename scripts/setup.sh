#!/usr/bin/env bash
# Installs every Debian package the project needs. Safe to run again.
set -euo pipefail
PKGS=(
  cmake g++ make python3 pkg-config
  libgtest-dev libgmock-dev
  libfreetype-dev fonts-dejavu-core libpng-dev zlib1g-dev
  libminizip-dev libarchive-dev libarchive-tools libmd-dev libsquish-dev libmimalloc-dev libdw-dev
  libsdl2-dev libgl-dev libglu1-mesa-dev xvfb xauth zenity xdg-utils xdotool libx11-dev libxtst-dev
  curl unzip attr strace time aria2 linux-perf nginx-light
  gmt-gshhg-low libnetcdf-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev ffmpeg
)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
  # The install benchmark runs nginx of its own on a free loopback port; the
  # package's service, started by the install on port 80, is stopped again.
  if [[ " ${missing[*]} " == *" nginx-light "* ]]; then
    $SUDO systemctl disable --now nginx >/dev/null 2>&1 || $SUDO service nginx stop >/dev/null 2>&1 || true
  fi
fi
