# Sourced by the benchmarks that need a broker: fail, a work folder, the processes to kill at the
# end, and the programs checked. Needs centre_exe and broker_exe (and device_exe where set).
# shellcheck shell=bash

fail() {
    echo "bench: $*" >&2
    exit 1
}
for exe in "${device_exe:-$centre_exe}" "$centre_exe" "$broker_exe"; do
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
