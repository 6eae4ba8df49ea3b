#!/usr/bin/env bash
# The forward lag of both front ends, side by side in one run against one local mosquitto: the
# time from a device's send to a QoS 1 subscriber's receipt, at 100 records/s for 30 s, for the
# headless centre and for the window (offscreen). Figures only. Run by bench/run.sh, or alone:
#
#     bench/forward_lag.sh [BUILD_DIR]      (default: build/release in the repository)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
rate=100
count=3000

. "$root/bench/broker_bench.sh"

broker_config
start_broker

# lag NAME CENTRE_ARGS...: starts a centre, sends $count records at $rate/s, prints p50 and p99.
lag() {
    local name=$1 port='' pid sub
    shift
    # Made here: the centre's own redirection may come only after the first look below.
    : >"$work/$name.err"
    QT_QPA_PLATFORM=offscreen "$centre_exe" --port 0 --auto-reply --log-dir "$work/$name" \
        --mqtt "mqtt://127.0.0.1:$broker_port" --mqtt-topic "$name" "$@" \
        >/dev/null 2>"$work/$name.err" &
    pid=$!
    running+=("$pid")
    for _ in $(seq 200); do
        port=$(sed -n 's/.*listening on UDP port \([0-9]*\)$/\1/p' "$work/$name.err")
        [ -n "$port" ] && break
        sleep 0.05
    done
    [ -n "$port" ] || fail "$name did not start: $(head -c 300 "$work/$name.err")"
    mosquitto_sub -p "$broker_port" -q 1 -t "$name/record/#" -F '%U %p' -C "$count" \
        >"$work/$name.txt" &
    sub=$!
    running+=("$sub")
    sleep 1
    # Each record's own send time, on the clock mosquitto_sub's %U reads: "N TIME" a line.
    python3 -c '
import socket, sys, time
port, count, rate = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
start = time.monotonic()
for n in range(1, count + 1):
    time.sleep(max(0.0, start + (n - 1) / rate - time.monotonic()))
    sent = time.time()
    sock.sendto(b"#ST,123;ID:%d;#" % n, ("127.0.0.1", port))
    print(n, "%.6f" % sent)
' "$port" "$count" "$rate" >"$work/$name.sent"
    timeout 30 tail --pid "$sub" -f /dev/null || true
    kill -TERM "$pid"
    wait "$pid" 2>/dev/null || true
    sed -n 's/^\([0-9.]*\) .*ID:\([0-9]*\).*/\2 \1/p' "$work/$name.txt" | sort -k1,1 >"$work/$name.got"
    sort -k1,1 "$work/$name.sent" | join - "$work/$name.got" |
        awk '{ print ($3 - $2) * 1000 }' | sort -n |
        awk '{ v[NR] = $1 } END { printf "p50 %.1f ms, p99 %.1f ms (%d seen)",
            v[int(NR * 0.5)], v[int(NR * 0.99)], NR }'
}

echo "== Forward lag at $rate records/s, $count records (sent -> seen by a QoS 1 subscriber)"
headless=$(lag headless --headless)
window=$(lag window --listen)
printf '%-24s %s\n' "headless:" "$headless" "window (offscreen):" "$window"
