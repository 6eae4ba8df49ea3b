#!/usr/bin/env bash
# Builds the centre and starts it; any arguments are passed on to tarnwick.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release --target tarnwick tarnwick-device
exec build/release/src/tarnwick "$@"
