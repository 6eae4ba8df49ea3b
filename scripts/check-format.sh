#!/usr/bin/env bash
# Checks that every C++ file git tracks matches the root .clang-format, and names those that do
# not. `git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format -i` formats them all.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -d '' sources < <(git ls-files -z '*.cpp' '*.h')
[ ${#sources[@]} -gt 0 ] || { echo "check-format: git lists no C++ files" >&2; exit 1; }

if ! out=$(clang-format --dry-run --Werror "${sources[@]}" 2>&1); then
    echo "check-format: these files do not match .clang-format (clang-format -i FILE mends one):" >&2
    sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: .*/  \1/p' <<<"$out" | sort -u >&2
    exit 1
fi
echo "All ${#sources[@]} C++ files match .clang-format."
