#!/usr/bin/env bash
# Installs, with apt-get, every Debian package the project needs that is not there yet, and
# unpacks promtool for the tests.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    build-essential cmake ninja-build pkg-config
    clang libclang-rt-14-dev clang-format
    qt6-base-dev libgl-dev
    libgtest-dev libgmock-dev
    fonts-crosextra-carlito xvfb xauth
    librsvg2-bin gzip man-db groff-base
    desktop-file-utils appstream systemd dpkg-dev file
    libx11-6 libxdamage1 imagemagick xdotool
    iproute2 procps
    libsystemd-dev libmicrohttpd-dev
    libmosquitto-dev nlohmann-json3-dev mosquitto mosquitto-clients openssl
)

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}" >&2
    "${sudo_cmd[@]}" apt-get update -qq
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi

# The metrics test checks its page with promtool, which Debian ships only in its prometheus
# package; installed, that package would enable and start a Prometheus server on this machine.
# So the package is only unpacked, into build/tools, and nothing of it runs but the tool.
promtool_root=build/tools/prometheus
if [ ! -x "$promtool_root/usr/bin/promtool" ]; then
    echo "Unpacking promtool from Debian's prometheus package into $promtool_root" >&2
    download=$(mktemp -d)
    (cd "$download" && apt-get download -qq prometheus 2>/dev/null) || {
        "${sudo_cmd[@]}" apt-get update -qq
        (cd "$download" && apt-get download -qq prometheus)
    }
    mkdir -p "$promtool_root"
    dpkg-deb -x "$download"/prometheus_*.deb "$promtool_root"
    rm -rf "$download"
fi
