#!/usr/bin/env bash
# Builds the station and starts it in build/run, whose dane/ holds its settings and registers.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
ensure_packages

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTATION_TESTS=OFF -DSTATION_BENCH=OFF
cmake --build build/release --target station
mkdir -p build/run/dane
cd build/run
exec ../release/app/tarvelio
