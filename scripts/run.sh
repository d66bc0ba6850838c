#!/usr/bin/env bash
# Builds the station and starts it in build/run, whose dane/ holds its settings and registers.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
ensure_packages

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTATION_TESTS=OFF -DSTATION_BENCH=OFF
cmake --build build/release --target station
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: the station is a desktop program. On a machine without one, run it in a"
    echo "virtual X server:  xvfb-run -s '-screen 0 1280x800x24' scripts/run.sh"
    echo "(scripts/screenshot.sh does that and saves a picture of the window)."
    exit 1
fi
mkdir -p build/run/dane
cd build/run
exec ../release/app/tarvelio
