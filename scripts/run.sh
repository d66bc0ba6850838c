#!/usr/bin/env bash
# Builds the station and starts it in build/run, whose dane/ holds its settings and registers,
# with four emulated scales on 127.0.0.1:2001-2004. With --alone, the station starts without
# them, for real scales. With --plant, a plant on this machine in build/plant: a broker, two
# stations (rooms) with four emulated scales each, and the ledger on SQLite; closing either
# station ends them all.
set -euo pipefail
cd "$(dirname "$0")/.."
alone=0
plant=0
case "${1:-}" in
    --alone) alone=1 ;;
    --plant) plant=1 ;;
    "") ;;
    *) echo "Usage: scripts/run.sh [--alone | --plant]" >&2; exit 2 ;;
esac
# Said before the build, which takes a while.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: the station is a desktop program. On a machine without one, run it in a"
    echo "virtual X server:  xvfb-run -s '-screen 0 1280x800x24' scripts/run.sh${1:+ $1}"
    echo "(scripts/screenshot.sh does that and saves a picture of the window)."
    exit 1
fi
source scripts/setup.sh
ensure_packages "${station_build_packages[@]}"
source scripts/demo_scales.sh
source scripts/processes.sh

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTATION_TESTS=OFF -DSTATION_BENCH=OFF
cmake --build build/release --target tarvelio scale-emulator tarvelio-ledger
if [ "$plant" -eq 1 ]; then
    exec scripts/plant.sh build/release
fi
mkdir -p build/run/dane
cd build/run
if [ "$alone" -eq 1 ]; then
    exec ../release/app/tarvelio
fi

../release/tools/scale-emulator "${demo_scale_options[@]}" &
emulator=$!
trap 'end_process "$emulator"' EXIT
sleep 0.3
if ! kill -0 "$emulator" 2>/dev/null; then
    echo "The emulated scales could not start (are ports 2001-2004 taken?)." >&2
    echo "Start the station alone with: scripts/run.sh --alone" >&2
    exit 1
fi
../release/app/tarvelio
