#!/usr/bin/env bash
# Forwarding to a local mosquitto (--mqtt), on one run: the headless centre's answer rate with
# and without forwarding, the forwarded records/s, the catch-up rate after an outage, and the
# forward lag (sent -> seen by a QoS 1 subscriber) at 1,000 records/s. Figures only. Run by
# bench/run.sh at its end, or alone:
#
#     bench/mqtt.sh [BUILD_DIR]      (default: build/release in the repository)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
device_exe=$build/tools/device/tarnwick-device
centre_exe=$build/src/tarnwick
broker_exe=/usr/sbin/mosquitto
records=200000
flood_args=(--window 2048 --sources 4 --expect-replies --quiet)

fail() {
    echo "bench: $*" >&2
    exit 1
}
for exe in "$device_exe" "$centre_exe" "$broker_exe"; do
    [ -x "$exe" ] || fail "$exe is missing (scripts/install-deps.sh installs mosquitto)"
done
command -v mosquitto_sub >/dev/null || fail "mosquitto_sub is missing (mosquitto-clients)"

work=$(mktemp -d)
running=()
cleanup() {
    for pid in "${running[@]}"; do
        kill -KILL "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

broker_port=$((20000 + RANDOM % 20000))
printf 'listener %s 127.0.0.1\nallow_anonymous true\nmax_queued_messages 0\nuser %s\n' \
    "$broker_port" "$(id -un)" >"$work/mosquitto.conf"
broker_pid=
start_broker() {
    "$broker_exe" -c "$work/mosquitto.conf" >/dev/null 2>&1 &
    broker_pid=$!
    running+=("$broker_pid")
    sleep 0.3
}
stop_broker() {
    kill -TERM "$broker_pid"
    wait "$broker_pid" 2>/dev/null || true
}

# centre NAME ARGS...: a headless centre logging to $work/NAME; sets centre_pid, centre_port.
centre() {
    local name=$1
    shift
    "$centre_exe" --headless --port 0 --auto-reply --log-dir "$work/$name" "$@" \
        >/dev/null 2>"$work/$name.err" &
    centre_pid=$!
    running+=("$centre_pid")
    for _ in $(seq 100); do
        centre_port=$(sed -n 's/.*listening on UDP port \([0-9]*\)$/\1/p' "$work/$name.err")
        [ -n "$centre_port" ] && return 0
        sleep 0.05
    done
    fail "$name did not start: $(head -c 300 "$work/$name.err")"
}

# forwarded NAME: seconds until the saved position reaches the end of the log (at most 300).
forwarded() {
    local log position started=$EPOCHREALTIME
    log=$(ls "$work/$1"/Data_logs_*.txt)
    for _ in $(seq 30000); do
        position=$(awk '{ print $2 }' "$work/$1/mqtt_position.txt" 2>/dev/null || true)
        [ "${position:-0}" = "$(stat -c %s "$log")" ] && break
        sleep 0.01
    done
    awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.2f", b - a }'
}

rate() {
    sed -n 's/.*records\/s \([0-9]*\).*/\1/p' <<<"$1"
}

start_broker
echo "== Forwarding: headless centre, $records records, with and without --mqtt"
centre plain
plain=$("$device_exe" --port "$centre_port" --count "$records" "${flood_args[@]}" || true)
kill -TERM "$centre_pid"
centre forwarding --mqtt "mqtt://127.0.0.1:$broker_port"
started=$EPOCHREALTIME
with=$("$device_exe" --port "$centre_port" --count "$records" "${flood_args[@]}" || true)
behind=$(forwarded forwarding)
forward_seconds=$(awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN { print b - a }')
kill -TERM "$centre_pid"

echo "== Catch-up: the broker down for the whole of a $records-record flood, then back"
centre outage --mqtt "mqtt://127.0.0.1:$broker_port"
sleep 1
stop_broker
"$device_exe" --port "$centre_port" --count "$records" "${flood_args[@]}" >/dev/null || true
start_broker
for _ in $(seq 600); do
    grep -q "MQTT broker back" "$work/outage.err" && break
    sleep 0.1
done
catch_up=$(forwarded outage)
kill -TERM "$centre_pid"

echo "== Forward lag at 1,000 records/s, 10,000 records (sent -> seen by a QoS 1 subscriber)"
centre lag --mqtt "mqtt://127.0.0.1:$broker_port"
mosquitto_sub -p "$broker_port" -q 1 -t 'tarnwick/record/#' -F '%U %p' -C 10000 >"$work/lag.txt" &
sub_pid=$!
running+=("$sub_pid")
sleep 0.5
sent_at=$EPOCHREALTIME
"$device_exe" --port "$centre_port" --count 10000 --rate 1000 --quiet >/dev/null || true
wait "$sub_pid" || true
# Record N leaves about (N - 1) / 1000 s after the start: its ID field is N.
lag=$(sed -n 's/^\([0-9.]*\) .*ID:0*\([0-9]*\).*/\1 \2/p' "$work/lag.txt" |
    awk -v t0="$sent_at" '{ print ($1 - t0 - ($2 - 1) / 1000) * 1000 }' | sort -n |
    awk '{ v[NR] = $1 } END { printf "p50 %.1f ms, p99 %.1f ms (%d seen)",
        v[int(NR * 0.5)], v[int(NR * 0.99)], NR }')
kill -TERM "$centre_pid"
stop_broker

printf '%-44s %s\n' \
    "answers/s without --mqtt:" "$(rate "$plain")" \
    "answers/s with --mqtt:" "$(rate "$with") ($(awk -v a="$(rate "$with")" -v b="$(rate "$plain")" 'BEGIN { printf "%.2f", a / b }') of without)" \
    "forwarded records/s (flood to last PUBACK):" "$(awk -v n="$records" -v s="$forward_seconds" 'BEGIN { printf "%d", n / s }') (behind $behind s after the flood)" \
    "catch-up records/s after the outage:" "$(awk -v n="$records" -v s="$catch_up" 'BEGIN { printf "%d", n / s }') ($catch_up s)" \
    "forward lag at 1,000/s:" "$lag"
