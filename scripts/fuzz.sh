#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 600), starting
# from the seed corpora in fuzz/corpus. New inputs go to build/fuzz/corpus; a crash leaves its
# input in build/fuzz and fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
source scripts/setup.sh
ensure_packages "${station_build_packages[@]}" "${station_test_packages[@]}"

cmake -S fuzz -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build/fuzz
for target in framing_decoding indicator_formats ini_file integer_text number_format; do
    mkdir -p "build/fuzz/corpus/$target"
    echo "fuzz_$target: $seconds s"
    (cd build/fuzz && "./fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
        "corpus/$target" "../../fuzz/corpus/$target" 2>&1 | grep -E 'Done|stat::number_of_executed_units|ERROR|SUMMARY' || true)
    if ls build/fuzz/crash-* build/fuzz/leak-* build/fuzz/timeout-* >/dev/null 2>&1; then
        echo "fuzz_$target found a failing input" >&2
        exit 1
    fi
done
