#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy at the root, every finding an error) on every source of the
# project: the configured build in build/tidy and the fuzzers in build/fuzz (or the builds
# named), whose compile_commands.json the test command made first. It fails on any finding, on
# clang-tidy's own failure, on a missing compilation database, and when no source was checked.
set -euo pipefail
cd "$(dirname "$0")/.."
# Each source once: the fuzzers' build compiles the libraries again, which build/tidy checks.
sources_of() {
    case $1 in
        build/fuzz) echo '/fuzz/[^/]+\.cpp$' ;;
        *) echo '/(app|base|broker|core|net|protocol|service|ledger|ui|tools|tests|bench)/[^/]+(/[^/]+)?\.cpp$' ;;
    esac
}
builds=("$@")
[ "${#builds[@]}" -gt 0 ] || builds=(build/tidy build/fuzz)
for build in "${builds[@]}"; do
    sources=$(sources_of "$build")
    if [ ! -s "$build/compile_commands.json" ]; then
        echo "clang-tidy: no compilation database in $build (configure it first)" >&2
        exit 1
    fi
    checked=$(grep -o '"file": "[^"]*"' "$build/compile_commands.json" | cut -d '"' -f 4 |
        grep -cE "^$PWD$sources" || true)
    if [ "$checked" -eq 0 ]; then
        echo "clang-tidy: no source of the project in $build/compile_commands.json" >&2
        exit 1
    fi
    echo "clang-tidy on $checked sources of $build"
    # The compilation database is GCC's: a warning option clang lacks is no finding.
    if ! run-clang-tidy -p "$build" -quiet -j "$(nproc)" \
        -extra-arg=-Wno-unknown-warning-option "$PWD$sources" >"$build/clang-tidy.log" 2>&1; then
        grep -E -A3 '(warning|error):' "$build/clang-tidy.log" >&2 || tail -n 20 "$build/clang-tidy.log" >&2
        echo "clang-tidy failed on the sources of $build" >&2
        exit 1
    fi
done
echo "clang-tidy: no findings"
