#!/usr/bin/env bash
# Builds everything and runs every test: the suite, the suite again under the address and
# undefined-behaviour sanitizers, each fuzz target for a bounded time, and the packaging checks
# (which install the Debian package with apt-get and remove it again).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
fuzz_seconds=${TARNWICK_FUZZ_SECONDS:-30}

suite() {  # build dir, extra cmake arguments...
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

echo "== Suite"
suite build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo

echo "== Suite under address and undefined-behaviour sanitizers"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    suite build/sanitize -DCMAKE_BUILD_TYPE=Debug -DTARNWICK_SANITIZE=ON

echo "== Fuzz targets (${fuzz_seconds} s each)"
CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTARNWICK_FUZZ=ON >/dev/null
cmake --build build/fuzz -j "$jobs"
for target in build/fuzz/fuzz/fuzz_*; do
    name=$(basename "$target")
    work=$(mktemp -d)
    cp -r "fuzz/corpus/$name/." "$work/" 2>/dev/null || true
    "$target" -max_total_time="$fuzz_seconds" -print_final_stats=0 "$work" 2>"build/fuzz/$name.log" \
        || { tail -50 "build/fuzz/$name.log"; exit 1; }
    echo "$name: $(grep -c . "build/fuzz/$name.log" >/dev/null; tail -1 "build/fuzz/$name.log")"
    rm -rf "$work"
done
echo "== Packaging"
scripts/check-package.sh

echo "All test stages passed."
