#!/bin/bash
# Installs what building, running and testing Cadrell needs on Debian 12 (run as root).
set -euo pipefail
packages=(
  cmake g++ make pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools libgl-dev libqt6svg6
  xvfb xdotool imagemagick x11-utils dbus-x11 at-spi2-core python3-pyatspi
  acl poppler-utils clang libclang-rt-14-dev fonts-dejavu-core cups cups-client
  librsvg2-bin dpkg-dev file lintian desktop-file-utils appstream libglib2.0-bin devscripts
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
