#!/usr/bin/env bash
# Builds the station with warnings as errors and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
ensure_packages
ensure_test_locale

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTATION_WERROR=ON
cmake --build build/test
ctest --test-dir build/test --output-on-failure -j"$(nproc)"
