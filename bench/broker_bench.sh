# Sourced by the benchmarks that need a broker: fail, a work folder, the processes to kill at the
# end, the programs checked, and the broker and headless centres they start. Needs root (the
# repository) and build (the build folder).
# shellcheck shell=bash

# The flood of device records each broker benchmark answers: the same load, so their figures
# compare.
records=200000
flood_args=(--window 2048 --sources 4 --expect-replies --quiet)

device_exe=$build/tools/device/tarnwick-device
centre_exe=$build/src/tarnwick
# Unpacked, not installed, by scripts/install-test-deps.sh: installed, it would run as a service.
broker_exe=$root/build/tools/mosquitto/usr/sbin/mosquitto

fail() {
    echo "bench: $*" >&2
    exit 1
}
for exe in "$device_exe" "$centre_exe" "$broker_exe"; do
    [ -x "$exe" ] || fail "$exe is missing (build it; scripts/install-test-deps.sh unpacks the broker)"
done
command -v mosquitto_sub >/dev/null || fail "mosquitto_sub is missing (mosquitto-clients; scripts/install-test-deps.sh installs it)"

work=$(mktemp -d)
running=()
cleanup() {
    for pid in "${running[@]}"; do
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

broker_port=$((20000 + RANDOM % 20000))
# broker_config: the local broker's configuration, $work/mosquitto.conf, on
# 127.0.0.1:$broker_port; a benchmark appends what else it needs. A subscriber that falls behind
# (a catch-up, the centre during a flood of holds) must not lose messages to the broker's
# default bound of 1,000 queued.
broker_config() {
    printf 'listener %s 127.0.0.1\nallow_anonymous true\nuser %s\nmax_queued_messages 0\n' \
        "$broker_port" "$(id -un)" >"$work/mosquitto.conf"
}
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

# stop_centre: SIGTERM, and wait for the centre to end, so its stop does not overlap the next run.
stop_centre() {
    kill -TERM "$centre_pid"
    wait "$centre_pid" 2>/dev/null || true
}

# field NAME REPORT: the number after NAME in a tarnwick-device report line.
field() {
    sed -n "s|.*$1 \\([0-9]*\\).*|\\1|p" <<<"$2"
}

# since TIME: seconds from TIME ($EPOCHREALTIME then) to now.
since() {
    awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.2f", b - a }'
}
