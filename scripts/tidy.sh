#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy at the root, every finding an error) on every source of the
# project: the configured build in build/tidy and the fuzzers in build/fuzz (or the builds
# named), whose compile_commands.json the test command made first. It fails on any finding, on
# clang-tidy's own failure, on a missing compilation database, and when no source was checked.
#
# A unity build's database names its batches (a few sources each, every header read once per
# batch rather than once per source): each batch is checked with the sources it includes taken as
# headers are, by the header filter widened to them, which finds in them what checking each alone
# finds. The one check a batch defeats, bugprone-suspicious-include (a batch is nothing but
# includes of sources), is made on the project's own files by a search instead.
set -euo pipefail
cd "$(dirname "$0")/.."
# The project's folders, as .clang-tidy's header filter names them.
folders=$(sed -n "s/^HeaderFilterRegex: '\(.*\)\\\\\.h\\$'\$/\1/p" .clang-tidy)
[ -n "$folders" ] || { echo "clang-tidy: no HeaderFilterRegex in .clang-tidy" >&2; exit 1; }
read -r -a folder_paths <<<"$(grep -oE '\([a-z|]+\)' <<<"$folders" | head -1 | tr -d '()' | tr '|' ' ')"
# Each source once: the fuzzers' build compiles the libraries again, which build/tidy checks.
sources_of() {
    case $1 in
        build/fuzz) echo '/fuzz/[^/]+\.cpp$' ;;
        *) echo "$folders\\.cpp\$" ;;
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
    files=$(grep -o '"file": "[^"]*"' "$build/compile_commands.json" | cut -d '"' -f 4)
    batches=$(grep -E '/Unity/unity_[0-9]+_cxx\.cxx$' <<<"$files" || true)
    checked=$( (grep -E "^$PWD$sources" <<<"$files" || true
                [ -z "$batches" ] || sed -n 's/^#include "\(.*\)"$/\1/p' $batches) |
        grep -cE "^$PWD$sources" || true)
    if [ "$checked" -eq 0 ]; then
        echo "clang-tidy: no source of the project in $build/compile_commands.json" >&2
        exit 1
    fi
    echo "clang-tidy on $checked sources of $build"
    unity_checks=
    if [ -n "$batches" ]; then
        unity_checks=-checks=-bugprone-suspicious-include
        if grep -rnE '^\s*#\s*include\s*[<"][^>"]*\.(c|cc|cpp|cxx)[>"]' --include='*.cpp' \
            --include='*.h' "${folder_paths[@]}"; then
            echo "clang-tidy: an implementation file included [bugprone-suspicious-include]" >&2
            exit 1
        fi
    fi
    # The compilation database is GCC's: a warning option clang lacks is no finding.
    if ! run-clang-tidy -p "$build" -quiet -j "$(nproc)" $unity_checks \
        -extra-arg=-Wno-unknown-warning-option -header-filter="$folders\\.(h|cpp)\$" \
        "($PWD$sources|/Unity/unity_[0-9]+_cxx\\.cxx\$)" >"$build/clang-tidy.log" 2>&1; then
        grep -E -A3 '(warning|error):' "$build/clang-tidy.log" >&2 || tail -n 20 "$build/clang-tidy.log" >&2
        echo "clang-tidy failed on the sources of $build" >&2
        exit 1
    fi
done
echo "clang-tidy: no findings"
