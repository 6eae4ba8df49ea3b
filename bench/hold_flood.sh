#!/usr/bin/env bash
# Broker commands against the answers, on one run: a headless centre under --mqtt and
# --reuse-port (so it holds commands for keys it has not heard) answers a flood of device
# records from 127.0.0.1 once alone, once while 10,000 holds for made-up keys arrive on
# PREFIX/hold/KEY from one client over 2 s, and once while as many messages go to a topic the
# centre does not take, which is what the flood alone costs the machine it shares with the
# centre; then the centre's resident memory
# before and after 200 holds of the largest command a line may carry (hex: and 508 bytes,
# 1,528 bytes). Figures only. Run by bench/run.sh, or alone:
#
#     bench/hold_flood.sh [BUILD_DIR]      (default: build/release in the repository)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
flood_holds=10000
flood_seconds=2  # the holds arrive over this long, while the records do
large_holds=200
# The longest line a command may be: "hex:" and 508 bytes written as "38 ".
large_command="hex:$(printf '38 %.0s' $(seq 508))"

. "$root/bench/broker_bench.sh"

broker_config
start_broker

# holds_taken: how many holds the centre has reported ("command N for KEY held: ...").
holds_taken() {
    grep -c ' held: ' "$work/hold.err" || true
}

# wait_for_holds COUNT: up to 120 s for the centre to have reported COUNT holds.
wait_for_holds() {
    for _ in $(seq 1200); do
        [ "$(holds_taken)" -ge "$1" ] && return 0
        sleep 0.1
    done
    fail "the centre reported $(holds_taken) holds of $1: $(tail -c 300 "$work/hold.err")"
}

# publish TOPIC COUNT PAYLOAD: COUNT messages on the topics TOPIC-1 to TOPIC-COUNT from one
# client, spread over $flood_seconds s, in the background; sets publisher_pid.
publish() {
    "$root/bench/mqtt_flood.py" "$broker_port" "$1" "$2" "$flood_seconds" "$3" &
    publisher_pid=$!
    running+=("$publisher_pid")
}

# answers: the answers/s of one flood of $records records.
answers() {
    field records/s "$("$device_exe" --port "$centre_port" --count "$records" "${flood_args[@]}" || true)"
}

# ratio A B: A / B to two places.
ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'
}

# resident_kb: the centre's VmRSS in kB.
resident_kb() {
    awk '$1 == "VmRSS:" { print $2 }' "/proc/$centre_pid/status"
}

centre hold --mqtt "mqtt://127.0.0.1:$broker_port" --reuse-port
sleep 1  # connected to the broker, so the first holds are not lost to a subscription not made

echo "== Answers without broker commands, $records records"
alone=$(answers)

echo "== Answers while as many messages go to a topic the centre does not take, $records records"
publish elsewhere/hold/flood "$flood_holds" RESET
publishers_alone=$(answers)
wait "$publisher_pid" || fail "the flood to another topic failed"

echo "== Answers while $flood_holds holds for made-up keys arrive, $records records"
flood_started=$EPOCHREALTIME
publish tarnwick/hold/flood "$flood_holds" RESET
during=$(answers)
held_by_then=$(holds_taken)
wait "$publisher_pid" || fail "the hold flood failed"
wait_for_holds "$flood_holds"
flood_took=$(since "$flood_started")

echo "== Memory around $large_holds holds of ${#large_command} bytes each"
sleep 1
rss_before=$(resident_kb)
publish tarnwick/hold/large "$large_holds" "$large_command"
wait "$publisher_pid" || fail "the large holds failed"
wait_for_holds $((flood_holds + large_holds))
sleep 1
rss_after=$(resident_kb)
stop_centre
stop_broker

printf '%-44s %s\n' \
    "answers/s without broker commands:" "$alone" \
    "answers/s during the hold flood:" "$during ($held_by_then of $flood_holds holds taken by its end)" \
    "during / without:" "$(ratio "$during" "$alone")" \
    "answers/s, as many messages to another topic:" "$publishers_alone ($(ratio "$publishers_alone" "$alone") of without)" \
    "hold flood:" "$flood_holds holds sent over $flood_seconds s, all held $flood_took s after the first" \
    "VmRSS before $large_holds holds of ${#large_command} bytes:" "$rss_before kB" \
    "VmRSS after them:" "$rss_after kB ($((rss_after - rss_before)) kB more)"
