#!/usr/bin/env bash
# Forwarding to a local mosquitto (--mqtt), on one run: first the broker's own ingest against
# the forward rate, side by side, with one QoS 1 subscriber attached to both: a centre forwards
# a standing backlog of 1,000,000 logged records (from its start until the saved position, moved
# only by PUBACKs, reaches the end of the log), then one `mosquitto_pub -q 1 -l` client sends
# the very payloads the subscriber saw into the same broker (until the subscriber has them all;
# TARNWICK_BACKLOG_RECORDS sets another size). Then the
# headless centre's answer rate with and without forwarding (plain and forwarding in turn,
# three times each, so one noisy run does not decide the ratio), the forwarded records/s, the
# catch-up after a 60-second outage, and the forward lag (sent -> seen by a QoS 1 subscriber)
# at 1,000 records/s. Figures only. Run by bench/run.sh at its end, or alone:
#
#     bench/mqtt.sh [BUILD_DIR]      (default: build/release in the repository)
#
# The outage: the broker is stopped while tarnwick-device sends 20,000 records/s for 60 s, which
# the centre logs and answers as usual, so the backlog grows at a known, steady pace to
# 1,200,000 records; then the broker is started again, and the catch-up runs from when the
# centre says the broker is back until the saved position (mqtt_position.txt) reaches the end of
# the log.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
outage_rate=20000
outage_seconds=60
backlog_records=${TARNWICK_BACKLOG_RECORDS:-1000000}

. "$root/bench/broker_bench.sh"

broker_config

# forwarded NAME: seconds until the saved position reaches the end of the log (at most 300).
forwarded() {
    local log position started=$EPOCHREALTIME
    log=$(ls "$work/$1"/Data_logs_*.txt)
    for _ in $(seq 30000); do
        position=$(awk '{ print $2 }' "$work/$1/mqtt_position.txt" 2>/dev/null || true)
        [ "${position:-0}" = "$(stat -c %s "$log")" ] && break
        sleep 0.01
    done
    since "$started"
}

# ingest FILE COUNT: one `mosquitto_pub -q 1 -l` client publishes FILE's COUNT lines, timed
# until the one QoS 1 subscriber, which writes what it gets as the forwarding's did, has them
# all; sets ingest_seconds and ingest_rate. At the end
# of its input mosquitto_pub disconnects at once, dropping what its library still queues (about
# two thirds of a fast file never reach the broker), so its input stays open until then.
ingest() {
    local subscriber
    rm -f "$work/feeder.pid"
    mosquitto_sub -p "$broker_port" -q 1 -t 'tarnwick/#' -F '%t %p' -R -C "$2" >"$work/ingested.txt" &
    subscriber=$!
    running+=("$subscriber")
    sleep 0.3
    local started=$EPOCHREALTIME
    { cat "$1"; sleep 600 & echo $! >"$work/feeder.pid"; wait; } |
        mosquitto_pub -p "$broker_port" -q 1 -l -t tarnwick/record/ingest &
    wait "$subscriber" || true
    ingest_seconds=$(since "$started")
    ingest_rate=$(per_second "$2" "$ingest_seconds")
    # The feeder's end is the end of mosquitto_pub's input: it disconnects and ends.
    kill "$(cat "$work/feeder.pid")" 2>/dev/null || true
    wait $! 2>/dev/null || true
}

# per_second COUNT SECONDS: the whole number COUNT / SECONDS.
per_second() {
    awk -v n="$1" -v s="$2" 'BEGIN { printf "%d", n / s }'
}

# median VALUE...: the middle value, or the mean of the middle two.
median() {
    printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 }
        END { printf "%d", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# entries_after NAME: the log entries of centre NAME past its saved position.
entries_after() {
    local position
    position=$(awk '{ print $2 }' "$work/$1/mqtt_position.txt" 2>/dev/null || true)
    tail -c +$((${position:-0} + 1)) "$work/$1"/Data_logs_*.txt | grep -c '^-->' || true
}

# subscribe FILE: one QoS 1 subscriber to every topic of the centre's, "TOPIC PAYLOAD" a line;
# sets sub_pid.
subscribe() {
    mosquitto_sub -p "$broker_port" -q 1 -t 'tarnwick/#' -F '%t %p' >"$1" &
    sub_pid=$!
    running+=("$sub_pid")
    sleep 0.3
}

# unsubscribe FILE COUNT: once FILE holds COUNT records (at most 60 s), the subscriber ends.
unsubscribe() {
    for _ in $(seq 600); do
        [ "$(grep -c '^tarnwick/record/' "$1" || true)" -ge "$2" ] && break
        sleep 0.1
    done
    kill -TERM "$sub_pid"
    wait "$sub_pid" 2>/dev/null || true
}

start_broker
echo "== The broker's ingest against forwarding: $backlog_records records, one QoS 1 subscriber"
centre backlog
"$device_exe" --port "$centre_port" --count "$backlog_records" "${flood_args[@]}" >/dev/null || true
stop_centre
subscribe "$work/forwarded.txt"
centre backlog --mqtt "mqtt://127.0.0.1:$broker_port"
forward_seconds=$(forwarded backlog)
forward_rate=$(per_second "$backlog_records" "$forward_seconds")
stop_centre
unsubscribe "$work/forwarded.txt" "$backlog_records"
# The very payloads the centre published, from one client, into the same broker and subscriber.
sed -n 's|^tarnwick/record/[^ ]* ||p' "$work/forwarded.txt" >"$work/payloads.txt"
ingest "$work/payloads.txt" "$(wc -l <"$work/payloads.txt")"
rm -f "$work/forwarded.txt" "$work/payloads.txt" "$work/ingested.txt" "$work"/backlog/Data_logs_*

echo "== Forwarding: headless centre, $records records, without and with --mqtt, three times in turn"
plain_rates=()
with_rates=()
forward_rates=()
behind=()
for run in 1 2 3; do
    centre "plain$run"
    report=$("$device_exe" --port "$centre_port" --count "$records" "${flood_args[@]}" || true)
    plain_rates+=("$(field records/s "$report")")
    stop_centre
    centre "forwarding$run" --mqtt "mqtt://127.0.0.1:$broker_port"
    started=$EPOCHREALTIME
    report=$("$device_exe" --port "$centre_port" --count "$records" "${flood_args[@]}" || true)
    with_rates+=("$(field records/s "$report")")
    behind+=("$(forwarded "forwarding$run")")
    forward_rates+=("$(per_second "$records" "$(since "$started")")")
    stop_centre
done
plain_median=$(median "${plain_rates[@]}")
with_median=$(median "${with_rates[@]}")

outage_records=$((outage_rate * outage_seconds))
echo "== Catch-up: the broker down for $outage_seconds s while $outage_rate records/s arrive"
centre outage --mqtt "mqtt://127.0.0.1:$broker_port"
sleep 1
stop_broker
outage_started=$EPOCHREALTIME
outage_report=$("$device_exe" --port "$centre_port" --count "$outage_records" \
    --rate "$outage_rate" "${flood_args[@]}" || true)
outage_sent=$(field sent "$outage_report")
outage_answered=$(field replies "$outage_report")
backlog=$(entries_after outage)
outage=$(since "$outage_started")
restarted=$EPOCHREALTIME
start_broker
for _ in $(seq 600); do
    grep -q "MQTT broker back" "$work/outage.err" && break
    sleep 0.1
done
reconnect=$(since "$restarted")
catch_up=$(forwarded outage)
stop_centre

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
stop_centre
stop_broker

printf '%-44s %s\n' \
    "broker ingest, mosquitto_pub -q 1 -l:" "$ingest_rate messages/s ($ingest_seconds s)" \
    "forwarded from a standing backlog:" "$forward_rate records/s ($forward_seconds s)" \
    "forwarded / ingest:" "$(awk -v a="$forward_rate" -v b="$ingest_rate" \
        'BEGIN { printf "%.2f", a / b }')" \
    "answers/s without --mqtt:" "median $plain_median (runs 1, 3, 5: ${plain_rates[*]})" \
    "answers/s with --mqtt:" "median $with_median (runs 2, 4, 6: ${with_rates[*]})" \
    "with / without, medians:" "$(awk -v a="$with_median" -v b="$plain_median" \
        'BEGIN { printf "%.2f", a / b }')" \
    "forwarded records/s (flood to last PUBACK):" \
    "${forward_rates[*]} (behind ${behind[*]} s after the floods)" \
    "outage:" "$outage s, at $outage_rate/s: $outage_sent sent, $outage_answered answered" \
    "backlog when the broker came back:" "$backlog records" \
    "broker started -> centre says it is back:" "$reconnect s" \
    "catch-up records/s after the outage:" "$(per_second "$backlog" "$catch_up") ($catch_up s)" \
    "forward lag at 1,000/s:" "$lag"
