#!/usr/bin/env bash
# Installs what the tests, bench/ and scripts/screenshot.sh need beyond building and running
# (scripts/install-deps.sh, run first): with apt-get the packages that start nothing, and,
# unpacked into build/tools, the two programs whose packages would enable and start a system
# service: the mosquitto broker the forwarding tests start on a loopback port of their own, and
# promtool, which checks the metrics page. systemd-analyze, for the unit's check, comes with
# systemd, the init system of any machine the service runs on; scripts/check-package.sh skips
# that check where it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

packages=(
    clang libclang-rt-14-dev                        # the clang suite and the fuzz targets
    clang-format
    libgtest-dev libgmock-dev
    man-db groff-base                               # the manual page's check (man --warnings)
    desktop-file-utils appstream                    # the desktop entry's and metainfo's checks
    iproute2                                        # a network namespace's loopback, brought up
    openssl                                         # the TLS broker's and page's certificates
    curl                                            # the operator page's TLS test
    mosquitto-clients                               # bench/mqtt.sh's subscriber
    xvfb xauth                                      # bench/run.sh's and screenshot.sh's display
    imagemagick xdotool                             # scripts/screenshot.sh
    libx11-6 libxdamage1                            # bench_repaints watches the window
    chromium chromium-driver python3-selenium       # the operator page's test, in a real browser
)
scripts/install-packages.sh "${packages[@]}"
scripts/unpack-package.sh --libraries mosquitto usr/sbin/mosquitto
scripts/unpack-package.sh prometheus usr/bin/promtool
