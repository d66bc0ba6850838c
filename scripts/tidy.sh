#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy at the root) on every source of the project: the build in
# build/test and the fuzzers in build/fuzz, whose compile_commands.json the test command made
# first. Any finding fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
sources='/(app|core|net|ui|tools|tests|bench|fuzz)/[^/]+(/[^/]+)?\.cpp$'
for build in build/test build/fuzz; do
    echo "clang-tidy on the sources of $build"
    run-clang-tidy -p "$build" -quiet -j "$(nproc)" "$PWD$sources" >"$build/clang-tidy.log" 2>&1 ||
        true
    if grep -qE '(warning|error):' "$build/clang-tidy.log"; then
        grep -E -A3 '(warning|error):' "$build/clang-tidy.log" >&2
        echo "clang-tidy found the above in $build" >&2
        exit 1
    fi
done
echo "clang-tidy: no findings"
