#!/usr/bin/env bash
# Installs, with apt-get, what building and running the centre need and is not there yet. What
# only the tests need, scripts/install-test-deps.sh installs (scripts/test.sh runs it).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev libgl-dev                          # the window (Qt finds OpenGL's headers)
    qt6-charts-dev libqt6opengl6-dev                # the window's chart (its CMake needs OpenGL's)
    libsystemd-dev libmicrohttpd-dev libmosquitto-dev nlohmann-json3-dev
    libjs-chart.js                                  # the operator page's chart, served from it
    zlib1g-dev                                      # the log archives, gzip through zlib
    fonts-crosextra-carlito                         # the window's font, with Calibri's metrics
    librsvg2-bin gzip                               # the build makes the icons and the manual page
    dpkg-dev file                                   # cpack's Debian package (dpkg-shlibdeps)
)
exec scripts/install-packages.sh "${packages[@]}"
