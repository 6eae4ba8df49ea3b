#!/usr/bin/env bash
# Starts the window under Xvfb, listening with auto-reply, sends it a few device records,
# and writes a screenshot of the screen to docs/screenshot.png.
# BUILD_DIR: a build folder to use instead of build/release.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build/release}
if [ -z "${BUILD_DIR:-}" ]; then
    scripts/install-deps.sh
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target tarnwick tarnwick-device >/dev/null
mkdir -p docs

if [ -z "${TARNWICK_IN_XVFB:-}" ]; then
    exec env TARNWICK_IN_XVFB=1 xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

work=$(mktemp -d)
trap 'kill "$centre" 2>/dev/null || true; rm -rf "$work"' EXIT
"$build/src/app/tarnwick" --port 0 --auto-reply --listen --log-dir "$work/logs" 2>"$work/err" &
centre=$!
port=
for _ in $(seq 100); do
    port=$(sed -n 's/^tarnwick: listening on UDP port \([0-9]*\)$/\1/p' "$work/err")
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { cat "$work/err" >&2; exit 1; }

long="#ST,125;L:400;GPS:51.50722,-0.12750;SPD:0;$(printf 'T%03d:21.5;' $(seq 1 40))#"
"$build/tools/device/tarnwick-device" --port "$port" --expect-replies \
    --record '#ST,123;STA:1,2;BAT:87;#' \
    --record '#ST,124;GPS:51.50722,-0.12750;SPD:12;#' \
    --record "$long" \
    --record '#ST,126;STA:0;ALM:door@517OPENED-AT-NIGHT;#'
sleep 1  # two clock ticks and a repaint
import -window root -trim +repage docs/screenshot.png
echo "docs/screenshot.png written"
