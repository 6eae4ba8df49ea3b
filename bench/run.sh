#!/usr/bin/env bash
# Drives the bare UDP echo (the ceiling), the headless centre and the centre's window (under a
# private Xvfb display) with a million device records each, and prints the figures: the rates
# and their ratio to the ceiling, replies and log entries missing, the rows the window showed,
# how often the window repainted while flooded, memory while each centre ran and how long each
# took to stop. Figures only: nothing here passes or fails on them. Exits non-zero only when
# something could not run.
#
#     bench/run.sh [BUILD_DIR]      (default: build/release in the repository)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
echo_exe=$build/bench/bench_echo
repaints_exe=$build/bench/bench_repaints
device_exe=$build/tools/device/tarnwick-device
centre_exe=$build/src/tarnwick
records=1000000
drive_args=(--count "$records" --expect-replies --window 2048 --sources 4 --quiet)
sample_seconds=0.5

work=$(mktemp -d)
running=()  # the processes this script started and has not reaped yet
xvfb_pid=
cleanup() {
    for pid in "${running[@]}"; do
        kill -KILL "$pid" 2>/dev/null || true
    done
    # xvfb-run takes its X server down once its client (one of the above) has gone.
    [ -z "$xvfb_pid" ] || wait "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "bench: $*" >&2
    exit 1
}

for exe in "$echo_exe" "$repaints_exe" "$device_exe" "$centre_exe" "$build/bench/bench_devices"; do
    [ -x "$exe" ] || fail "$exe is missing; build it first:
    cmake --build $build --target bench_echo bench_repaints bench_devices tarnwick-device tarnwick"
done
command -v xvfb-run >/dev/null || fail "xvfb-run is missing (Debian package xvfb)"

# start_server NAME COMMAND...: starts a server that announces "...listening on UDP port N" on
# stderr (Qt may print its own notices first); sets server_pid and server_port.
start_server() {
    local name=$1
    shift
    "$@" >/dev/null 2>"$work/$name.err" &
    server_pid=$!
    running+=("$server_pid")
    for _ in $(seq 100); do
        server_port=$(sed -n '/listening on UDP port/{s/.* \([0-9][0-9]*\)$/\1/p;q}' \
            "$work/$name.err")
        [ -n "$server_port" ] && return 0
        kill -0 "$server_pid" 2>/dev/null || break
        sleep 0.1
    done
    fail "$name did not start listening: $(head -c 500 "$work/$name.err")"
}

# forget PID: drops PID from the running list.
forget() {
    local kept=()
    for pid in "${running[@]}"; do
        [ "$pid" = "$1" ] || kept+=("$pid")
    done
    running=("${kept[@]}")
}

# reaped PID: wait for PID and drop it from the running list; sets status to its exit status.
reaped() {
    status=0
    wait "$1" || status=$?
    forget "$1"
}

# stop_server PID: SIGTERM (the window closes as from its close box), then up to 60 s for it to
# finish what it has queued and exit. Sets stop_seconds, and peak_kb to the last VmHWM seen.
stop_server() {
    local pid=$1 hwm started=$EPOCHREALTIME
    peak_kb=$(status_kb "$pid" VmHWM)
    kill -TERM "$pid"
    for _ in $(seq 600); do
        hwm=$(status_kb "$pid" VmHWM 2>/dev/null) || break
        peak_kb=${hwm:-$peak_kb}
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && fail "process $pid did not stop within 60 s of SIGTERM"
    reaped "$pid"
    stop_seconds=$(awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }')
    [ "$status" -eq 0 ] || echo "bench: process $pid exited with status $status after SIGTERM" >&2
}

# start_drive NAME PID: tarnwick-device against $server_port in the background, and a sampler
# of PID's VmRSS every $sample_seconds while the device runs; sets device_pid and sampler_pid.
start_drive() {
    "$device_exe" --port "$server_port" "${drive_args[@]}" >"$work/$1.out" \
        2>"$work/$1.device.err" &
    device_pid=$!
    running+=("$device_pid")
    while kill -0 "$device_pid" 2>/dev/null; do
        status_kb "$2" VmRSS 2>/dev/null || break
        sleep "$sample_seconds"
    done >"$work/$1.rss" &
    sampler_pid=$!
    running+=("$sampler_pid")
}

# finish_drive NAME STATUS: checks the device ran (1 only means replies went missing) and sets
# report to its closing line.
finish_drive() {
    [ "$2" -le 1 ] || fail "tarnwick-device failed against $1: $(head -c 500 "$work/$1.device.err")"
    report=$(grep '^sent ' "$work/$1.out") || fail "tarnwick-device printed no report for $1"
    echo "   $report"
}

# rss_of NAME: the VmRSS samples start_drive took, once its sampler has ended.
rss_of() {
    reaped "$sampler_pid"
    tr '\n' ' ' <"$work/$1.rss"
}

# field REPORT NAME: the number after NAME in a report line.
field() {
    sed -n "s|.*$2 \([0-9.]*\).*|\1|p" <<<"$1"
}

# status_kb PID KEY: a VmRSS/VmHWM figure in kB from /proc.
status_kb() {
    awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/status"
}

# log_entries DIR: the entries in the daily log files in DIR, which it then removes (a
# million entries take about 100 MB).
log_entries() {
    cat "$1"/Data_logs_*.txt 2>/dev/null | grep -c '^-->' || true
    rm -rf "$1"
}

# percent PART WHOLE
percent() {
    awk -v p="$1" -v w="$2" 'BEGIN { printf "%.1f %%", (w > 0) ? 100 * p / w : 0 }'
}

# start_display: a private X server whose display and cookie xvfb-run picks; it lives as long
# as its placeholder client, display_pid. Exports DISPLAY and XAUTHORITY.
start_display() {
    # shellcheck disable=SC2016  # expanded by the placeholder, in the display's environment
    xvfb-run -a -s "-screen 0 1280x1024x24" sh -c \
        'echo "$$ $DISPLAY $XAUTHORITY" >"$1.part" && mv "$1.part" "$1" && exec sleep 3600' \
        sh "$work/display" >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$work/display" ] && break
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
    done
    read -r display_pid DISPLAY XAUTHORITY <"$work/display" 2>/dev/null ||
        fail "Xvfb did not start: $(head -c 500 "$work/xvfb.log")"
    running+=("$display_pid")
    export DISPLAY XAUTHORITY
}

stop_display() {
    kill -TERM "$display_pid"
    forget "$display_pid"
    wait "$xvfb_pid" || true
    xvfb_pid=
}

# wait_for_flood DIR: waits until the window has handled its first record: its log file is there.
wait_for_flood() {
    for _ in $(seq 1000); do
        compgen -G "$1/Data_logs_*.txt" >/dev/null && return 0
        kill -0 "$device_pid" 2>/dev/null || break
        sleep 0.01
    done
    fail "the window logged nothing: $(head -c 500 "$work/window.err")"
}

# shown_rows STOP_LINE: the rows the window showed, from the counters it prints when it stops:
# every record taken in is shown, whether its entry was written or not.
shown_rows() {
    echo $(($(field "$1" ", logged") + $(field "$1" ", not logged")))
}

# latency REPORT: "p50 A ms, p99 B ms" from a device report.
latency() {
    echo "p50 $(field "$1" "latency ms p50") ms, p99 $(field "$1" p99) ms"
}

# cpu_per_record PID RECORDS: "U S" the process's user and system CPU time so far, in
# microseconds per record.
cpu_per_record() {
    awk -v hz="$(getconf CLK_TCK)" -v n="$2" \
        '{ printf "%.2f %.2f", $14 * 1000000 / hz / n, $15 * 1000000 / hz / n }' "/proc/$1/stat"
}

# cpu_text "U S": how cpu_per_record reads.
cpu_text() {
    read -r user system <<<"$1"
    echo "$user us user + $system us system"
}

# headless_run NAME RECORDS DEVICE_ARGS... -- CENTRE_ARGS...: one more headless centre, driven
# by the device with the given arguments; sets report, and cpu to the centre's CPU time per
# record (cpu_per_record): what a record costs the centre, whoever sets the pace.
headless_run() {
    local name=$1 count=$2 device_args=() centre_args=()
    shift 2
    while [ "$1" != -- ]; do device_args+=("$1"); shift; done
    shift
    centre_args=("$@")
    mkdir -p "$work/$name-logs"
    start_server "$name" "$centre_exe" --headless --port 0 --auto-reply --log-dir "$work/$name-logs" \
        "${centre_args[@]}"
    local pid=$server_pid status=0
    "$device_exe" --port "$server_port" --count "$count" --expect-replies --quiet "${device_args[@]}" \
        >"$work/$name.out" 2>"$work/$name.device.err" || status=$?
    finish_drive "$name" "$status"
    cpu=$(cpu_per_record "$pid" "$count")
    stop_server "$pid"
    rm -rf "$work/$name-logs"
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
start_drive centre "$centre_pid"
reaped "$device_pid"
finish_drive centre "$status"
centre_report=$report
centre_rss=$(rss_of centre)
stop_server "$centre_pid"
centre_peak_kb=$peak_kb
centre_stop_seconds=$stop_seconds
centre_entries=$(log_entries "$work/logs")

echo "== Centre with --sync (fdatasync before each batch's answers), $records records"
headless_run sync "$records" --window 2048 --sources 4 -- --sync
sync_report=$report

echo "== Centre, one source port, $records records"
headless_run single "$records" --window 2048 --sources 1 --
single_report=$report

echo "== Ceiling and centre, 10,000 source ports (10,000 devices), $records records each"
ulimit -n 20000 2>/dev/null || ulimit -n "$(ulimit -Hn)"
start_server echo_many "$echo_exe" --port 0
status=0
"$device_exe" --port "$server_port" --count "$records" --expect-replies --quiet --window 2048 \
    --sources 10000 >"$work/echo_many.out" 2>"$work/echo_many.device.err" || status=$?
finish_drive echo_many "$status"
echo_many_report=$report
stop_server "$server_pid"
headless_run many "$records" --window 2048 --sources 10000 --
many_report=$report
many_cpu=$cpu
# One source paced to the rate 10,000 ports reached: the same batches, so the CPU per record
# differs only by what many devices cost.
headless_run paced "$records" --window 2048 --sources 1 --rate "$(field "$many_report" records/s)" --
paced_cpu=$cpu

light_count=5000
echo "== Centre under a light load: 1,000 records/s, $light_count records"
headless_run light "$light_count" --rate 1000 --window 2048 --
light_report=$report

echo "== Window: tarnwick --auto-reply --listen under Xvfb, $records records"
start_display
mkdir -p "$work/window-logs"
start_server window env QT_QPA_PLATFORM=xcb "$centre_exe" --port 0 --auto-reply --listen \
    --log-dir "$work/window-logs"
window_pid=$server_pid
start_drive window "$window_pid"
wait_for_flood "$work/window-logs"
# Repaints are timed from the first record the window handled until the device has its last
# reply; what is still queued then is handled while the window closes.
"$repaints_exe" "$window_pid" >"$work/window.repaints" 2>&1 &
watcher_pid=$!
running+=("$watcher_pid")
reaped "$device_pid"
device_status=$status
kill -TERM "$watcher_pid" 2>/dev/null || true
reaped "$watcher_pid"
repaints=$(head -n 1 "$work/window.repaints")
[ "$status" -eq 0 ] || repaints="not measured: $repaints"
finish_drive window "$device_status"
window_report=$report
window_rss=$(rss_of window)
stop_server "$window_pid"
window_peak_kb=$peak_kb
window_stop_seconds=$stop_seconds
window_entries=$(log_entries "$work/window-logs")
stop_display
stop_line=$(sed -n 's/^tarnwick: stopped; //p' "$work/window.err" | tail -n 1)
if [ -n "$stop_line" ]; then
    shown=$(shown_rows "$stop_line")
    rows="$shown of $records ($((records - shown)) missing); counters: $stop_line"
else
    rows="not known: the window printed no \"tarnwick: stopped; \" line"
fi

echo_rate=$(field "$echo_report" records/s)
centre_rate=$(field "$centre_report" records/s)
window_rate=$(field "$window_report" records/s)
echo "== Figures"
printf '%-32s %s\n' \
    "ceiling records/s:" "$echo_rate" \
    "centre records/s:" "$centre_rate" \
    "centre / ceiling:" "$(percent "$centre_rate" "$echo_rate")" \
    "centre --sync records/s:" "$(field "$sync_report" records/s) ($(percent "$(field "$sync_report" records/s)" "$echo_rate") of the ceiling)" \
    "centre, one source records/s:" "$(field "$single_report" records/s)" \
    "centre, 10,000 devices records/s:" "$(field "$many_report" records/s) ($(percent "$(field "$many_report" records/s)" "$(field "$single_report" records/s)") of one source, $(percent "$(field "$many_report" records/s)" "$(field "$echo_many_report" records/s)") of the ceiling from 10,000 ports: $(field "$echo_many_report" records/s))" \
    "centre CPU per record, same rate:" "one source $(cpu_text "$paced_cpu"), 10,000 devices $(cpu_text "$many_cpu")" \
    "device table alone:" "$("$build/bench/bench_devices" | tr '\n' ';')" \
    "answer latency, flood:" "$(latency "$centre_report")" \
    "answer latency, 1,000/s:" "$(latency "$light_report")" \
    "answer latency, --sync flood:" "$(latency "$sync_report")" \
    "window records/s:" "$window_rate" \
    "window / ceiling:" "$(percent "$window_rate" "$echo_rate")" \
    "replies missing:" "ceiling $(field "$echo_report" missing), centre $(field "$centre_report" missing), --sync $(field "$sync_report" missing), window $(field "$window_report" missing)" \
    "log entries missing:" "centre $((records - centre_entries)) (found $centre_entries), window $((records - window_entries)) (found $window_entries)" \
    "rows the window showed:" "$rows" \
    "window repaints while flooded:" "$repaints" \
    "time to stop (queue drained):" "centre $centre_stop_seconds s, window $window_stop_seconds s" \
    "centre peak memory (VmHWM):" "$centre_peak_kb kB" \
    "window peak memory (VmHWM):" "$window_peak_kb kB" \
    "centre VmRSS every ${sample_seconds} s:" "$centre_rss(kB)" \
    "window VmRSS every ${sample_seconds} s:" "$window_rss(kB)"
