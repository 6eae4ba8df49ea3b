#!/usr/bin/env bash
# Installs, with apt-get, every Debian package the project needs that is not there yet.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    clang libclang-rt-14-dev clang-format
    qt6-base-dev libgl-dev
    libgtest-dev libgmock-dev
    fonts-crosextra-carlito xvfb xauth
    librsvg2-bin gzip man-db groff-base
    desktop-file-utils appstream systemd dpkg-dev file
    libx11-6 libxdamage1 imagemagick xdotool
    libmosquitto-dev nlohmann-json3-dev mosquitto mosquitto-clients openssl
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
