#!/usr/bin/env bash
# Broker commands against the answers, on one run: a headless centre under --mqtt and
# --reuse-port (so it holds commands for keys it has not heard) answers a flood of device
# records from 127.0.0.1 once alone, once while 10,000 holds for made-up keys arrive on
# PREFIX/hold/KEY, each from a mosquitto_pub of its own, and once while as many publishers send
# to a topic the centre does not take, which is what the publishers alone cost a machine they
# share with the centre; then the centre's resident memory
# before and after 200 holds of the largest command a line may carry (hex: and 508 bytes,
# 1,528 bytes). Figures only. Run by bench/run.sh, or alone:
#
#     bench/hold_flood.sh [BUILD_DIR]      (default: build/release in the repository)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
records=200000
flood_args=(--window 2048 --sources 4 --expect-replies --quiet)
flood_holds=10000
publishers=4  # mosquitto_pub processes at a time
large_holds=200
# The longest line a command may be: "hex:" and 508 bytes written as "38 ".
large_command="hex:$(printf '38 %.0s' $(seq 508))"

. "$root/bench/broker_bench.sh"
command -v mosquitto_pub >/dev/null || fail "mosquitto_pub is missing (mosquitto-clients; scripts/install-test-deps.sh installs it)"

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

# publish TOPIC COUNT PAYLOAD: COUNT messages on the topics TOPIC-1 to TOPIC-COUNT, each by a
# mosquitto_pub of its own, $publishers at a time, in the background; sets publisher_pid, the
# xargs that starts them, which stops starting more on SIGTERM.
publish() {
    seq "$2" | xargs -P "$publishers" -I '{}' \
        mosquitto_pub -p "$broker_port" -q 1 -t "$1-{}" -m "$3" &
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

echo "== Answers while publishers send to a topic the centre does not take, $records records"
publish elsewhere/hold/flood "$flood_holds" RESET
sleep 2
publishers_alone=$(answers)
kill -TERM "$publisher_pid"
wait "$publisher_pid" 2>/dev/null || true

echo "== Answers while $flood_holds holds for made-up keys arrive, $records records"
flood_started=$EPOCHREALTIME
publish tarnwick/hold/flood "$flood_holds" RESET
wait_for_holds $((flood_holds / 10))  # the flood is under way
during=$(answers)
held_by_then=$(holds_taken)
wait "$publisher_pid" || fail "mosquitto_pub failed during the flood"
wait_for_holds "$flood_holds"
flood_seconds=$(since "$flood_started")

echo "== Memory around $large_holds holds of ${#large_command} bytes each"
sleep 1
rss_before=$(resident_kb)
publish tarnwick/hold/large "$large_holds" "$large_command"
wait "$publisher_pid" || fail "mosquitto_pub failed to publish the large holds"
wait_for_holds $((flood_holds + large_holds))
sleep 1
rss_after=$(resident_kb)
stop_centre
stop_broker

printf '%-44s %s\n' \
    "answers/s without broker commands:" "$alone" \
    "answers/s during the hold flood:" "$during ($held_by_then of $flood_holds holds taken by its end)" \
    "during / without:" "$(ratio "$during" "$alone")" \
    "answers/s, publishers to another topic:" "$publishers_alone ($(ratio "$publishers_alone" "$alone") of without)" \
    "hold flood:" "$flood_holds holds in $flood_seconds s, $publishers mosquitto_pub at a time" \
    "VmRSS before $large_holds holds of ${#large_command} bytes:" "$rss_before kB" \
    "VmRSS after them:" "$rss_after kB ($((rss_after - rss_before)) kB more)"
