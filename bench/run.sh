#!/usr/bin/env bash
# Drives the bare UDP echo (the ceiling), the headless centre and the centre's window (under a
# private Xvfb display) with a million device records each, and prints the figures: the rates
# and their ratio to the ceiling, replies and log entries missing, the rows the window showed,
# how often the window repainted while flooded, memory while each centre ran and how long each
# took to stop. Then the batched echo (the batched ceiling) and the centres again under a
# sender that batches its system calls by --batch, with one table of both senders against
# both ceilings. Last, forwarding to a local MQTT broker (bench/mqtt.sh, bench/forward_lag.sh)
# broker commands against the answers (bench/hold_flood.sh), and the operator page's event
# streams and devices list (bench/web.sh). Figures only:
# nothing here passes or fails on them. Exits non-zero only when something could not run.
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
flood_args=(--window 2048 --sources 4)
drive_args=(--count "$records" --expect-replies "${flood_args[@]}" --quiet)
batch=64
batch_args=(--batch "$batch")
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
command -v xvfb-run >/dev/null || fail "xvfb-run is missing (xvfb; scripts/install-test-deps.sh installs it)"

# start_server NAME COMMAND...: starts a server that announces "...listening on UDP port N" on
# stderr (Qt may print its own notices first); sets server_pid and server_port.
start_server() {
    local name=$1
    shift
    # Made here: the server's own redirection may come only after the first look below.
    : >"$work/$name.err"
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
    local kept=() pid
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

# start_drive NAME PID [DEVICE_ARGS...]: tarnwick-device (drive_args and DEVICE_ARGS) against
# $server_port in the background, and a sampler of PID's VmRSS every $sample_seconds while the
# device runs; sets device_pid and sampler_pid.
start_drive() {
    "$device_exe" --port "$server_port" "${drive_args[@]}" "${@:3}" >"$work/$1.out" \
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

# wait_for_flood NAME: waits until the window NAME has handled its first record: its log file
# is there.
wait_for_flood() {
    for _ in $(seq 1000); do
        compgen -G "$work/$1-logs/Data_logs_*.txt" >/dev/null && return 0
        kill -0 "$device_pid" 2>/dev/null || break
        sleep 0.01
    done
    fail "the window logged nothing: $(head -c 500 "$work/$1.err")"
}

# shown_rows STOP_LINE: the rows the window showed, from the counters it prints when it stops:
# every record taken in is shown, whether its entry was written or not.
shown_rows() {
    echo $(($(field "$1" ", logged") + $(field "$1" ", not logged")))
}

# rows_text NAME: the rows the window NAME showed and its counters, from its stop line.
rows_text() {
    local stop_line shown
    stop_line=$(sed -n 's/^tarnwick: stopped; //p' "$work/$1.err" | tail -n 1)
    if [ -z "$stop_line" ]; then
        echo "not known: the window printed no \"tarnwick: stopped; \" line"
        return
    fi
    shown=$(shown_rows "$stop_line")
    echo "$shown of $records ($((records - shown)) missing); counters: $stop_line"
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

# server_run NAME RECORDS DEVICE_ARGS... -- SERVER_COMMAND...: starts the server, drives it
# with the device (RECORDS, replies expected, and the given arguments) and stops it; sets
# report, and cpu to the server's CPU time per record (cpu_per_record): what a record costs it,
# whoever sets the pace.
server_run() {
    local name=$1 count=$2 device_args=() pid status=0
    shift 2
    while [ "$1" != -- ]; do device_args+=("$1"); shift; done
    shift
    start_server "$name" "$@"
    pid=$server_pid
    "$device_exe" --port "$server_port" --count "$count" --expect-replies --quiet "${device_args[@]}" \
        >"$work/$name.out" 2>"$work/$name.device.err" || status=$?
    finish_drive "$name" "$status"
    cpu=$(cpu_per_record "$pid" "$count")
    stop_server "$pid"
}

# headless_run NAME RECORDS DEVICE_ARGS... -- CENTRE_ARGS...: server_run with one more headless
# centre, logging into a folder of its own that is removed afterwards.
headless_run() {
    local name=$1 count=$2 device_args=()
    shift 2
    while [ "$1" != -- ]; do device_args+=("$1"); shift; done
    shift
    mkdir -p "$work/$name-logs"
    server_run "$name" "$count" "${device_args[@]}" -- "$centre_exe" --headless --port 0 \
        --auto-reply --log-dir "$work/$name-logs" "$@"
    rm -rf "$work/$name-logs"
}

# window_run NAME DEVICE_ARGS...: the window (under the display start_display made) flooded by
# the device (drive_args and DEVICE_ARGS); sets report, cpu (as server_run), repaints, rss,
# peak_kb, stop_seconds, entries (its log entries) and rows (rows_text).
window_run() {
    local name=$1 pid device_status
    shift
    mkdir -p "$work/$name-logs"
    start_server "$name" env QT_QPA_PLATFORM=xcb "$centre_exe" --port 0 --auto-reply --listen \
        --log-dir "$work/$name-logs"
    pid=$server_pid
    start_drive "$name" "$pid" "$@"
    wait_for_flood "$name"
    # Repaints are timed from the first record the window handled until the device has its last
    # reply; what is still queued then is handled while the window closes.
    "$repaints_exe" "$pid" >"$work/$name.repaints" 2>&1 &
    watcher_pid=$!
    running+=("$watcher_pid")
    reaped "$device_pid"
    device_status=$status
    kill -TERM "$watcher_pid" 2>/dev/null || true
    reaped "$watcher_pid"
    repaints=$(head -n 1 "$work/$name.repaints")
    [ "$status" -eq 0 ] || repaints="not measured: $repaints"
    finish_drive "$name" "$device_status"
    cpu=$(cpu_per_record "$pid" "$records")
    rss=$(rss_of "$name")
    stop_server "$pid"
    entries=$(log_entries "$work/$name-logs")
    rows=$(rows_text "$name")
}

# table_row NAME REPORT CPU: one run in the table of both senders against both ceilings.
table_row() {
    local rate
    rate=$(field "$2" records/s)
    read -r user system <<<"$3"
    printf '%-34s %9s %10s %10s %16s %16s %7s\n' "$1" "$rate" "$(percent "$rate" "$echo_rate")" \
        "$(percent "$rate" "$batched_echo_rate")" "$user + $system" \
        "$(field "$2" "latency ms p50") / $(field "$2" p99)" "$(field "$2" missing)"
}

echo "== Ceiling: bench_echo, $records records"
server_run echo "$records" "${flood_args[@]}" -- "$echo_exe" --port 0
echo_report=$report
echo_cpu=$cpu

echo "== Centre: tarnwick --headless --auto-reply, $records records"
mkdir -p "$work/logs"
start_server tarnwick "$centre_exe" --headless --port 0 --auto-reply --log-dir "$work/logs"
centre_pid=$server_pid
start_drive centre "$centre_pid"
reaped "$device_pid"
finish_drive centre "$status"
centre_report=$report
centre_cpu=$(cpu_per_record "$centre_pid" "$records")
centre_rss=$(rss_of centre)
stop_server "$centre_pid"
centre_peak_kb=$peak_kb
centre_stop_seconds=$stop_seconds
centre_entries=$(log_entries "$work/logs")

echo "== Centre with --sync (fdatasync before each batch's answers), $records records"
headless_run sync "$records" "${flood_args[@]}" -- --sync
sync_report=$report
sync_cpu=$cpu

echo "== Centre, one source port, $records records"
headless_run single "$records" --window 2048 --sources 1 --
single_report=$report

echo "== Ceiling and centre, 10,000 source ports (10,000 devices), $records records each"
ulimit -n 20000 2>/dev/null || ulimit -n "$(ulimit -Hn)"
server_run echo_many "$records" --window 2048 --sources 10000 -- "$echo_exe" --port 0
echo_many_report=$report
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
window_run window
window_report=$report
window_cpu=$cpu
window_repaints=$repaints
window_rss=$rss
window_peak_kb=$peak_kb
window_stop_seconds=$stop_seconds
window_entries=$entries
window_rows=$rows

echo "== Batching sender (--batch $batch): the window under Xvfb, $records records"
window_run batched_window "${batch_args[@]}"
batched_window_report=$report
batched_window_cpu=$cpu
stop_display

echo "== Batched ceiling: bench_echo --batch $batch, batching sender, $records records"
server_run batched_echo "$records" "${flood_args[@]}" "${batch_args[@]}" -- \
    "$echo_exe" --port 0 --batch "$batch"
batched_echo_report=$report
batched_echo_cpu=$cpu

echo "== Batching sender: tarnwick --headless --auto-reply, $records records"
headless_run batched_centre "$records" "${flood_args[@]}" "${batch_args[@]}" --
batched_centre_report=$report
batched_centre_cpu=$cpu

echo "== Batching sender: the centre with --sync, $records records"
headless_run batched_sync "$records" "${flood_args[@]}" "${batch_args[@]}" -- --sync
batched_sync_report=$report
batched_sync_cpu=$cpu

echo_rate=$(field "$echo_report" records/s)
batched_echo_rate=$(field "$batched_echo_report" records/s)
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
    "rows the window showed:" "$window_rows" \
    "window repaints while flooded:" "$window_repaints" \
    "time to stop (queue drained):" "centre $centre_stop_seconds s, window $window_stop_seconds s" \
    "centre peak memory (VmHWM):" "$centre_peak_kb kB" \
    "window peak memory (VmHWM):" "$window_peak_kb kB" \
    "centre VmRSS every ${sample_seconds} s:" "$centre_rss(kB)" \
    "window VmRSS every ${sample_seconds} s:" "$window_rss(kB)"

echo "== Both senders against both ceilings (4 sources, window 2048; the device's own batches or --batch $batch)"
printf '%-34s %9s %10s %10s %16s %16s %7s\n' "" records/s "of ceiling" "of batched" \
    "CPU us/record" "latency ms" missing
printf '%-34s %9s %10s %10s %16s %16s %7s\n' "" "" "" "ceiling" "user + system" "p50 / p99" ""
table_row "echo ceiling" "$echo_report" "$echo_cpu"
table_row "batched echo ceiling, --batch $batch" "$batched_echo_report" "$batched_echo_cpu"
table_row "centre" "$centre_report" "$centre_cpu"
table_row "centre, --batch $batch" "$batched_centre_report" "$batched_centre_cpu"
table_row "centre --sync" "$sync_report" "$sync_cpu"
table_row "centre --sync, --batch $batch" "$batched_sync_report" "$batched_sync_cpu"
table_row "window" "$window_report" "$window_cpu"
table_row "window, --batch $batch" "$batched_window_report" "$batched_window_cpu"

"$root/bench/mqtt.sh" "$build"
"$root/bench/forward_lag.sh" "$build"
"$root/bench/hold_flood.sh" "$build"
"$root/bench/web.sh" "$build"
