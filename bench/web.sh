#!/usr/bin/env bash
# The operator page against the answers, on one run: a headless centre with --web answers a
# flood of device records with no page open, then with 20 event streams open that read
# everything (as 20 pages would), then its resident memory with those 20 open; then the
# devices list at 100,000 devices (bench_web_devices). Figures only. Run by bench/run.sh, or
# alone:
#
#     bench/web.sh [BUILD_DIR]      (default: build/release in the repository)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
device_exe=$build/tools/device/tarnwick-device
centre_exe=$build/src/tarnwick
records=300000
flood_args=(--window 2048 --sources 4 --expect-replies --quiet)
pages=20
token=bench-web-token

work=$(mktemp -d)
running=()
cleanup() {
    for pid in "${running[@]}"; do
        kill -KILL "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "bench/web.sh: $*" >&2
    exit 1
}

# field NAME REPORT: the figure after "NAME " in a device report.
field() {
    sed -n "s/.*$1 \([0-9.]*\).*/\1/p" <<<"$2"
}

echo "$token" >"$work/token"
"$centre_exe" --headless --port 0 --auto-reply --log-dir "$work/logs" --web 0 \
    --web-token-file "$work/token" >/dev/null 2>"$work/centre.err" &
centre_pid=$!
running+=("$centre_pid")
for _ in $(seq 100); do
    grep -q 'operator page on' "$work/centre.err" && break
    sleep 0.1
done
centre_port=$(sed -n 's/.*listening on UDP port \([0-9]*\).*/\1/p' "$work/centre.err")
web_port=$(sed -n 's|.*operator page on http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$work/centre.err")
[ -n "$centre_port" ] && [ -n "$web_port" ] || fail "no centre: $(cat "$work/centre.err")"

resident_kb() {
    sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\).*/\1/p' "/proc/$centre_pid/status"
}

answers() {
    field records/s "$("$device_exe" --port "$centre_port" --count "$records" "${flood_args[@]}" || true)"
}

alone=$(answers)
alone_kb=$(resident_kb)
for i in $(seq "$pages"); do
    curl --silent --no-buffer --header "Authorization: Bearer $token" \
        "http://127.0.0.1:$web_port/api/events" >"$work/page-$i.txt" &
    running+=("$!")
done
sleep 1
with_pages=$(answers)
with_kb=$(resident_kb)
received=$(cat "$work"/page-*.txt | grep -c '^event: record' || true)
lost=$(cat "$work"/page-*.txt | grep -c '^event: lost' || true)

echo "== The operator page against the answers ($records records, 4 sources, window 2048)"
printf '%-44s %s\n' \
    "answers/s, no page open:" "$alone" \
    "answers/s, $pages event streams open:" "$with_pages" \
    "ratio:" "$(awk -v a="$with_pages" -v b="$alone" 'BEGIN { printf "%.2f", a / b }')" \
    "records the $pages streams received:" "$received of $((pages * records))" \
    "lost events told to them:" "$lost" \
    "centre VmRSS after the flood, no page:" "$alone_kb kB" \
    "centre VmRSS, $pages streams open:" "$with_kb kB"
kill -TERM "$centre_pid"
wait "$centre_pid" 2>/dev/null || true

"$build/bench/bench_web_devices"
