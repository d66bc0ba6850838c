#!/usr/bin/env bash
# Builds the station with warnings as errors and runs every test; then the whole suite again in
# a build with AddressSanitizer and UndefinedBehaviorSanitizer, the base, core, net and service
# tests (the work runner's threads, the name lookup, the broker attempt, publishing) under
# ThreadSanitizer, each fuzz target briefly, clang-tidy on every source, and the Debian package
# through lintian.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
ensure_packages "${station_build_packages[@]}" "${station_test_packages[@]}"
ensure_test_locale

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTATION_WERROR=ON
cmake --build build/test
ctest --test-dir build/test --output-on-failure -j"$(nproc)"

echo "== The same tests under ASan and UBSan"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTATION_WERROR=ON \
    -DSTATION_SANITIZE=ON -DSTATION_BENCH=OFF
cmake --build build/asan
ctest --test-dir build/asan --output-on-failure -j"$(nproc)"

echo "== Base, core, net and service tests under ThreadSanitizer"
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTATION_WERROR=ON \
    -DSTATION_TSAN=ON -DSTATION_BENCH=OFF
cmake --build build/tsan --target base_tests core_tests net_tests service_tests
ctest --test-dir build/tsan --output-on-failure -j"$(nproc)" -L '^(base|core|net|service)_tests$'

echo "== Fuzz targets, a short run each (scripts/fuzz.sh runs them longer)"
scripts/fuzz.sh 15

echo "== clang-tidy on every source"
scripts/tidy.sh

echo "== The Debian package, checked by lintian"
scripts/package.sh
