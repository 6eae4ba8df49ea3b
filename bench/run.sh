#!/usr/bin/env bash
# Drives the bare UDP echo (the ceiling) and then the headless centre with a million device
# records each, and prints the figures: both rates and their ratio, replies and log entries
# missing, and the centre's memory while it ran. Figures only: nothing here passes or fails on
# them. Exits non-zero only when something could not run.
#
#     bench/run.sh [BUILD_DIR]      (default: build/release in the repository)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
echo_exe=$build/bench/bench_echo
device_exe=$build/tools/device/tarnwick-device
centre_exe=$build/src/app/tarnwick
records=1000000
drive_args=(--count "$records" --expect-replies --window 2048 --sources 4 --quiet)
sample_seconds=0.5

work=$(mktemp -d)
running=()  # the processes this script started and has not reaped yet
cleanup() {
    for pid in "${running[@]}"; do
        kill -KILL "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "bench: $*" >&2
    exit 1
}

for exe in "$echo_exe" "$device_exe" "$centre_exe"; do
    [ -x "$exe" ] || fail "$exe is missing; build it first:
    cmake --build $build --target bench_echo tarnwick-device tarnwick"
done

# start_server NAME COMMAND...: starts a server that announces "...listening on UDP port N" as
# its first line on stderr; sets server_pid and server_port.
start_server() {
    local name=$1
    shift
    "$@" >/dev/null 2>"$work/$name.err" &
    server_pid=$!
    running+=("$server_pid")
    for _ in $(seq 100); do
        server_port=$(sed -n '1s/.*listening on UDP port \([0-9][0-9]*\)$/\1/p' "$work/$name.err")
        [ -n "$server_port" ] && return 0
        kill -0 "$server_pid" 2>/dev/null || break
        sleep 0.1
    done
    fail "$name did not start listening: $(head -c 500 "$work/$name.err")"
}

# reaped PID: wait for PID and drop it from the running list; sets status to its exit status.
reaped() {
    status=0
    wait "$1" || status=$?
    local kept=()
    for pid in "${running[@]}"; do
        [ "$pid" = "$1" ] || kept+=("$pid")
    done
    running=("${kept[@]}")
}

# stop_server PID: SIGTERM, then up to 60 s for it to finish writing and exit.
stop_server() {
    kill -TERM "$1"
    for _ in $(seq 600); do
        kill -0 "$1" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$1" 2>/dev/null && fail "process $1 did not stop within 60 s of SIGTERM"
    reaped "$1"
    [ "$status" -eq 0 ] || echo "bench: process $1 exited with status $status after SIGTERM" >&2
}

# finish_drive NAME STATUS: checks the device ran (1 only means replies went missing) and sets
# report to its closing line.
finish_drive() {
    [ "$2" -le 1 ] || fail "tarnwick-device failed against $1: $(head -c 500 "$work/$1.device.err")"
    report=$(grep '^sent ' "$work/$1.out") || fail "tarnwick-device printed no report for $1"
    echo "   $report"
}

# field REPORT NAME: the number after NAME in a report line.
field() {
    sed -n "s|.*$2 \([0-9.]*\).*|\1|p" <<<"$1"
}

# status_kb PID KEY: a VmRSS/VmHWM figure in kB from /proc.
status_kb() {
    awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/status"
}

echo "== Ceiling: bench_echo, $records records"
start_server bench_echo "$echo_exe" --port 0
status=0
"$device_exe" --port "$server_port" "${drive_args[@]}" >"$work/echo.out" \
    2>"$work/echo.device.err" || status=$?
finish_drive echo "$status"
echo_report=$report
stop_server "$server_pid"

echo "== Centre: tarnwick --headless --auto-reply, $records records"
mkdir -p "$work/logs"
start_server tarnwick "$centre_exe" --headless --port 0 --auto-reply --log-dir "$work/logs"
centre_pid=$server_pid
"$device_exe" --port "$server_port" "${drive_args[@]}" >"$work/centre.out" \
    2>"$work/centre.device.err" &
device_pid=$!
running+=("$device_pid")
rss_samples=()
while kill -0 "$device_pid" 2>/dev/null; do
    rss_samples+=("$(status_kb "$centre_pid" VmRSS)")
    sleep "$sample_seconds"
done
reaped "$device_pid"
finish_drive centre "$status"
centre_report=$report
peak_kb=$(status_kb "$centre_pid" VmHWM)
stop_server "$centre_pid"
entries=$(cat "$work"/logs/Data_logs_*.txt 2>/dev/null | grep -c '^-->' || true)

echo_rate=$(field "$echo_report" records/s)
centre_rate=$(field "$centre_report" records/s)
echo "== Figures"
printf '%-28s %s\n' \
    "ceiling records/s:" "$echo_rate" \
    "centre records/s:" "$centre_rate" \
    "centre / ceiling:" "$(awk -v c="$centre_rate" -v e="$echo_rate" \
        'BEGIN { printf "%.1f %%", (e > 0) ? 100 * c / e : 0 }')" \
    "replies missing:" "ceiling $(field "$echo_report" missing), centre $(field "$centre_report" missing)" \
    "log entries missing:" "$((records - entries)) (found $entries)" \
    "centre peak memory (VmHWM):" "$peak_kb kB" \
    "centre VmRSS every ${sample_seconds} s:" "${rss_samples[*]} (kB)"
