#!/usr/bin/env bash
# The log folder over the years, measured: tarnwick --find reading a backlog of day files (about
# 1 GB, plain and then compressed), and the answers' latency before and while the upkeep
# compresses that backlog at idle priority (--compress-after). Figures only: nothing here
# passes or fails on them.
#
#     bench/log_years.sh [BUILD_DIR] [MEGABYTES]   (defaults: build/release, 1024)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
megabytes=${2:-1024}
centre=$build/src/tarnwick
device=$build/tools/device/tarnwick-device
rate=500
seconds=20

work=$(mktemp -d)
centre_pid=
cleanup() {
    [ -z "$centre_pid" ] || kill -KILL "$centre_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

for exe in "$centre" "$device"; do
    [ -x "$exe" ] || { echo "bench: $exe is missing; build it first" >&2; exit 1; }
done

# 100 day files, 2 to 101 days old, each entry a record of one of 1000 devices.
python3 - "$work/log" "$megabytes" <<'PY'
import datetime, os, sys
folder, megabytes = sys.argv[1], int(sys.argv[2])
os.makedirs(folder)
days = 100
per_file = megabytes * 1024 * 1024 // days
today = datetime.date.today()
for back in range(2, 2 + days):
    day = today - datetime.timedelta(days=back)
    entries, size, i = [], 0, 0
    while size < per_file:
        hour, minute = divmod(i * 1440 // 70000 % 1440, 60)
        entry = (f"-->{day.isoformat()} {hour:02d}:{minute:02d}:{i % 60:02d}" + "-" * 40 +
                 f"\r\n10.0.{i % 4}.{i % 250} (4000):#ST,{i};ID:{i % 1000};LAT:52.{i % 9973};#\r\n")
        entries.append(entry)
        size += len(entry)
        i += 1
    with open(os.path.join(folder, f"Data_logs_{day:%m%d}.txt"), "w", newline="") as out:
        out.write("".join(entries))
PY
echo "backlog: $(du -sm "$work/log" | cut -f1) MB in $(ls "$work/log" | wc -l) day files"

find_once() {
    /usr/bin/time -f "%e %M" -o "$work/time" "$centre" --find --log-dir "$work/log" \
        --device-key field:ID --device 77 >/dev/null 2>"$work/find.err" || true
    read -r elapsed kilobytes <"$work/time"
    echo "find $1: $elapsed s, resident $((kilobytes / 1024)) MB, $(tail -1 "$work/find.err")"
}
find_once "plain"

# answers LABEL [CENTRE OPTIONS]: a centre on the backlog, device records at $rate a second.
answers() {
    local label=$1
    shift
    "$centre" --headless --port 0 --auto-reply --log-dir "$work/log" "$@" >/dev/null \
        2>"$work/centre.err" &
    centre_pid=$!
    local port=
    for _ in $(seq 100); do
        port=$(sed -n '/listening on UDP port/{s/.* \([0-9][0-9]*\)$/\1/p;q}' "$work/centre.err")
        [ -n "$port" ] && break
        sleep 0.1
    done
    "$device" --port "$port" --count $((rate * seconds)) --rate "$rate" --expect-replies \
        >"$work/device.out" 2>/dev/null || true
    echo "answers $label: $(tail -1 "$work/device.out")"
}

answers "idle folder"
kill -TERM "$centre_pid"; wait "$centre_pid" || true; centre_pid=

start=$(date +%s)
answers "while compressing" --compress-after 1
compressing=$(grep -c "log archive: compressed" "$work/centre.err" || true)
echo "compressed while answering: $compressing of 100 files in $seconds s"
while [ "$(grep -c "log archive: compressed" "$work/centre.err" || true)" -lt 100 ] &&
    kill -0 "$centre_pid" 2>/dev/null; do
    sleep 1
done
echo "compressed all: $(($(date +%s) - start)) s, archives $(du -sm "$work/log" | cut -f1) MB"
kill -TERM "$centre_pid"; wait "$centre_pid" || true; centre_pid=

find_once "compressed"
