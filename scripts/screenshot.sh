#!/usr/bin/env bash
# Starts the window under Xvfb, listening with auto-reply, sends it some seconds of generated
# records and then a few device records, and writes a screenshot of the screen to
# docs/screenshot.png. With "devices": several device peers report, one command is held for one
# of them, and the Devices window is written to docs/devices.png. With "page": the operator
# page's browser test runs against a headless centre and writes the whole page to docs/web.png.
# BUILD_DIR: a build folder to use instead of build/release.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build/release}
if [ -z "${BUILD_DIR:-}" ]; then
    scripts/install-test-deps.sh
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target tarnwick tarnwick-device >/dev/null
mkdir -p docs

# The page needs no display: its test drives headless Chromium and writes the picture.
if [ "${1:-}" = page ]; then
    TARNWICK_PAGE_SCREENSHOT=docs/web.png /usr/bin/python3 tests/web/operator_page_test.py \
        "$build/src/tarnwick" "$build/tools/device/tarnwick-device"
    convert docs/web.png +dither -colors 128 -strip docs/web.png  # a third of the bytes
    echo "docs/web.png written"
    exit
fi

if [ -z "${TARNWICK_IN_XVFB:-}" ]; then
    exec env TARNWICK_IN_XVFB=1 xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

work=$(mktemp -d)
trap 'kill "$centre" 2>/dev/null || true; rm -rf "$work"' EXIT
"$build/src/tarnwick" --port 0 --auto-reply --listen --log-dir "$work/logs" 2>"$work/err" &
centre=$!
port=
for _ in $(seq 100); do
    port=$(sed -n 's/^tarnwick: listening on UDP port \([0-9]*\)$/\1/p' "$work/err")
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { cat "$work/err" >&2; exit 1; }

device="$build/tools/device/tarnwick-device"

main_window() {
    # Some seconds of traffic at three rates first, for the records-a-second chart.
    for rate in 100 300 150; do
        "$device" --port "$port" --expect-replies --quiet --count $((rate * 5)) --rate "$rate" \
            --sources 8
    done
    long="#ST,125;L:400;GPS:51.50722,-0.12750;SPD:0;$(printf 'T%03d:21.5;' $(seq 1 40))#"
    "$device" --port "$port" --expect-replies \
        --record '#ST,123;STA:1,2;BAT:87;#' \
        --record '#ST,124;GPS:51.50722,-0.12750;SPD:12;#' \
        --record "$long" \
        --record '#ST,126;STA:0;ALM:door@517OPENED-AT-NIGHT;#'
    sleep 2  # the last seconds sampled, clock ticks and a repaint
    import -window root -trim +repage docs/screenshot.png
    echo "docs/screenshot.png written"
}

# Clicks the main window at (x, y) pixels of its client area, as this Xvfb screen and the
# dialog font lay it out (docs/screenshot.png shows where).
click_main() {
    xdotool mousemove --window "$main" "$1" "$2" click 1
}

devices_window() {
    # Each peer reports from a port of its own: one device each.
    for id in 3 7 12 21; do
        "$device" --port "$port" --expect-replies --quiet \
            --record "#ST,123;ID:$id;BAT:$((60 + id));#" \
            --record "#ST,124;ID:$id;GPS:51.5$id,-0.12$id;SPD:$id;#"
        sleep 1  # heard at different seconds
    done
    "$device" --port "$port" --expect-replies --quiet --record '#ST,125;ID:40;ALM:door;#'
    main=$(xdotool search --sync --name '^VX305_Centre\(UDP\)$' | head -1)
    xdotool windowfocus --sync "$main" key ctrl+d
    devices=$(xdotool search --sync --name '^Devices$' | head -1)
    # The second device by key becomes the destination; a command is held for it.
    xdotool windowfocus --sync "$devices" key Down Down alt+u
    click_main 390 820  # the sending buffer
    xdotool type 'SET:INTERVAL=60'
    click_main 770 751  # "Send at next report"
    click_main 832 831  # SEND
    xdotool windowfocus --sync "$devices"
    sleep 1  # a refresh and a repaint
    import -window "$devices" docs/devices.png
    echo "docs/devices.png written"
}

if [ "${1:-}" = devices ]; then
    devices_window
else
    main_window
fi
