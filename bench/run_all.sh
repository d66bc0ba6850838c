#!/usr/bin/env bash
# Builds the benchmarks (Release) and runs them all, writing their figures against the targets
# into bench/RESULTS.md with the date and a description of the machine.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
ensure_packages "${station_build_packages[@]}" "${station_test_packages[@]}"
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTATION_TESTS=OFF >/dev/null
cmake --build build/bench
b=build/bench/bench

decode=$($b/decode_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_filter='BM_FramingLoggingDecoding/1460' 2>/dev/null | awk '/_median/ { for (i = 1; i <= NF; i++) if ($i ~ /items_per_second=/) print $i }')
presets=$($b/decode_bench --benchmark_filter='BM_Preset' 2>/dev/null | awk '
    /^BM_Preset/ {
        name = $NF; rate = 0; allocs = 0
        for (i = 1; i <= NF; i++) {
            if ($i ~ /^items_per_second=/) { rate = substr($i, 18); sub(/M\/s/, "", rate); rate += 0 }
            if ($i ~ /^allocs_per_frame=/) { a = substr($i, 18); allocs = (a ~ /[num]$/) ? 0 : a + 0 }
        }
        if (name == "pattern") { pattern = rate } else if (slowest == "" || rate < slowest) { slowest = rate; which = name }
        if (allocs > most) { most = allocs }
    }
    END { printf "slowest preset %.2f M frames/s (%s), pattern %.2f M frames/s, under 0.001 allocations a frame: %s", slowest, which, pattern, (most < 0.001 ? "yes" : "no") }')
flood=$($b/flood_bench 30 2>/dev/null)
latency=$($b/latency_bench 10 2>/dev/null)
idle=$($b/idle_bench 20 2>/dev/null)
startup=$($b/startup_bench 10 2>/dev/null)
publish=$($b/publish_bench 200 2>/dev/null)
ledger=$($b/ledger_bench 20000 2>/dev/null)
page=$($b/page_bench 1000000 20 2>/dev/null)
plant=$($b/plant_bench 100 60 500 2>/dev/null)
# The flood through the real window against the core path alone, measured in the same run: a drop
# in the window's path shows as a falling ratio, whatever the machine.
flood_ratio=$(awk -v core="${decode#items_per_second=}" -v flood="$flood" 'BEGIN {
    scale = core ~ /M\/s$/ ? 1e6 : (core ~ /k\/s$/ ? 1e3 : 1); sub(/[kM]?\/s$/, "", core)
    split(flood, words, " "); printf "%.2f", words[6] / (core * scale) }')
for line in "$decode" "$presets" "$flood" "flood / core path: $flood_ratio" "$latency" "$idle" "$startup" "$publish" "$ledger" "$page" "$plant"; do echo "$line"; done

cpu=$(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1)
{
    echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores of $cpu, $(free -g | awk '/Mem:/ {print $2}') GiB,"
    echo "$(. /etc/os-release && echo "$PRETTY_NAME"), with \`bench/run_all.sh\`."
    echo
    echo "| benchmark | target | measured |"
    echo "|---|---|---|"
    echo "| core path (framing, logging, decoding; 1460-byte chunks, median of 5) | at least 3 M lines/s on one core | ${decode#items_per_second=} lines |"
    echo "| presets and the pattern: each through framing, logging and its format, 1460-byte chunks | every preset 1 M frames/s, the pattern 300 k; no allocation per frame | ${presets} |"
    echo "| flood: real station, 4 flooding scales, 30 s, then again publishing to a local broker, then again with the silence watch; a save clicked in each | 500,000 lines/s; no stall over 100 ms; a save within 100 ms; under 20 MiB growth; publishing within 10 %; the watch within 2 % | ${flood#flood: } |"
    echo "| flood against the core path, same run | the window costs the lines little beside decoding | ${flood_ratio} |"
    echo "| latency: 4 scales at 100 lines/s, write to display | p99 under 5 ms | ${latency#latency: } |"
    echo "| idle: 4 connected silent scales, 20 s, then again with a connected broker; then 1 scale at 1 line/s without and with silence=3; then 4 silent scales with stable saves waiting | under 10 ms CPU, no polling; the broker adds only its keep-alive (one wake-up per 30 s keep-alive at most); the watch and the waits add no wake-up | ${idle#idle: } |"
    echo "| start-up: process start to four connection attempts | under 300 ms, under 80 MiB | ${startup#startup: } |"
    echo "| publish: 200 saves to a broker on this machine, one each 10 ms | save to subscriber, p50 and p99 | ${publish#publish: } |"
    echo "| ledger: 100,000 rows in transactions of 2,000 into each database; a replay of 20,000 weighings from a station's register to rows; a backlog of 20,000 at the broker drained into rows (the station and the ledger each on a thread of its own) | rows at least 20,000/s into SQLite, 10,000/s into PostgreSQL; the replay the same; the drain 70,000/s into SQLite, 20,000/s into PostgreSQL | $(echo "$ledger" | tr '\n' ' ') |"
    echo "| plant page: 1,000,000 weighings in each database; 50 live pages while 16 scales send 5 states/s | day view median at most 50 ms, a month's export 100,000 rows/s; at most 10 % of one core | $(echo "$page" | tr '\n' ' ') |"
    echo "| plant: 100 stations with 60 days of 500 weighings, a broker, the ledger on each database: (a) a fresh database, (b) a restart with nothing missing, (c) a restart after the broker lost its session while 10 stations saved 100 weighings each, (d) two ledgers sharing the flow of 200 new weighings a station, one killed and started again | (b) at most one message per station, under 5 s; (c) at most the missing ones and a batch per station | $(echo "$plant" | tr '\n' ' ') |"
} >bench/RESULTS.md
cat bench/RESULTS.md
