#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 600), as many at
# once as there are cores, starting from the seed corpora in fuzz/corpus. New inputs go to
# build/fuzz/corpus. Any finding (a crash, leak, timeout, out-of-memory or slow unit, each left
# in build/fuzz/findings/TARGET), a fuzzer's own non-zero exit, or a run that did not reach its
# end fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
source scripts/setup.sh
ensure_packages "${station_build_packages[@]}" "${station_test_packages[@]}"

cmake -S fuzz -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build/fuzz
# One target per core at a time, each with its own log; any that fails fails the script.
run_target() {
    local target=$1 findings="build/fuzz/findings/$1" log="build/fuzz/$1.log" status=0 found
    mkdir -p "build/fuzz/corpus/$target" "$findings"
    rm -f "$findings"/*
    (cd build/fuzz && "./fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="findings/$target/" "corpus/$target" "../../fuzz/corpus/$target") \
        >"$log" 2>&1 || status=$?
    echo "fuzz_$target: $seconds s, $(grep -E '^Done' "$log" || echo 'not done')"
    found=$(ls "$findings")
    if [ "$status" -ne 0 ] || [ -n "$found" ] || ! grep -q '^Done ' "$log"; then
        tail -n 30 "$log" >&2
        echo "fuzz_$target failed: exit status $status, findings: ${found:-none} (in $findings)" >&2
        return 1
    fi
}
failed=0
running=()
for target in framing_decoding indicator_formats ini_file integer_text ledger_message \
    number_format page_request register_evidence; do
    run_target "$target" &
    running+=($!)
    if [ "${#running[@]}" -ge "$(nproc)" ]; then
        wait "${running[0]}" || failed=1
        running=("${running[@]:1}")
    fi
done
for pid in "${running[@]}"; do
    wait "$pid" || failed=1
done
exit "$failed"
