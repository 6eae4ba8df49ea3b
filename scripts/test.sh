#!/usr/bin/env bash
# Builds everything and runs every test: the format check, the suite built with GCC, the suite
# built with clang under the address and undefined-behaviour sanitizers, each fuzz target for a
# bounded time, and the packaging checks. Every build here treats warnings as errors.
# The packaging checks install the Debian package only in CI (CI=true) or when asked
# (TARNWICK_CHECK_INSTALL=1); see scripts/check-package.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-test-deps.sh

jobs=$(nproc)
fuzz_seconds=${TARNWICK_FUZZ_SECONDS:-30}
stage_name=
stage_started=0
timings=()

stage() {  # name
    stage_done
    stage_name=$1
    stage_started=$SECONDS
    echo "== $1"
}
stage_done() {
    [ -z "$stage_name" ] || timings+=("$(printf '%5d s  %s' $((SECONDS - stage_started)) "$stage_name")")
}

suite() {  # build dir, compiler, extra cmake arguments...
    local dir=$1 compiler=$2; shift 2
    # Named in the cache, not by CXX alone: a folder configured before with another compiler
    # is configured afresh.
    cmake -S . -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER="$compiler" -DTARNWICK_WERROR=ON "$@" \
        >/dev/null
    cmake --build "$dir" -j "$jobs"
    ctest --test-dir "$dir" --output-on-failure --no-tests=error -j "$jobs"
}

stage "Format (clang-format)"
scripts/check-format.sh

# Two builds of everything, not three: clang's is the sanitizers' too.
stage "Suite (GCC, RelWithDebInfo)"
suite build/release g++ -DCMAKE_BUILD_TYPE=RelWithDebInfo

stage "Suite under address and undefined-behaviour sanitizers (clang, Debug)"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    suite build/sanitize clang++ -DCMAKE_BUILD_TYPE=Debug -DTARNWICK_SANITIZE=ON

stage "Fuzz targets (${fuzz_seconds} s each)"
cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTARNWICK_WERROR=ON -DTARNWICK_FUZZ=ON >/dev/null
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

stage "Packaging"
scripts/check-package.sh

stage_done
printf '%s\n' "${timings[@]}"
echo "All test stages passed in $SECONDS s."
