#!/usr/bin/env bash
# Builds the station with warnings as errors and runs every test; then the whole suite again in
# a build with AddressSanitizer and UndefinedBehaviorSanitizer, the base, core, net, service and
# ledger tests (the work runner's threads, the name lookup, the broker attempt, publishing, the
# ledger) under ThreadSanitizer, each fuzz target briefly, clang-tidy on every source, and the Debian package
# through lintian.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
# Each stage says how long it took, and the whole run its total, so the time can be followed.
stage_started=$SECONDS
stage() {
    echo "== [$((SECONDS - stage_started)) s] $1"
    stage_started=$SECONDS
}
trap 'echo "== [$((SECONDS - stage_started)) s] (last stage); total $SECONDS s"' EXIT
ensure_packages "${station_build_packages[@]}" "${station_test_packages[@]}"
ensure_test_locale
stage "packages and locale; next: the normal build and its tests"

# Runs the tests of build directory $1 (further arguments go to ctest). A test that did not run,
# skipped for a missing package or privilege, fails the command as a failed one does.
run_tests() {
    local build=$1
    shift
    ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "$@" 2>&1 | tee "$build/ctest.log"
    if grep -q 'tests did not run' "$build/ctest.log"; then
        echo "tests skipped in $build: each must run here" >&2
        exit 1
    fi
}

# Line tables only (-g1): backtraces and sanitizer reports keep their file and line, and the
# builds, mostly code generation for the test suites, take a third less time. The sanitizer
# builds run at -O1, as the sanitizers advise.
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTATION_WERROR=ON \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"
cmake --build build/test
run_tests build/test

stage "the normal build and tests; next: the same tests under ASan and UBSan"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTATION_WERROR=ON \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DSTATION_SANITIZE=ON -DSTATION_BENCH=OFF
cmake --build build/asan
run_tests build/asan

stage "ASan and UBSan; next: base, core, net, service and ledger tests under ThreadSanitizer"
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTATION_WERROR=ON \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DSTATION_TSAN=ON -DSTATION_BENCH=OFF
cmake --build build/tsan --target base_tests core_tests net_tests service_tests ledger_tests
run_tests build/tsan -L '^(base|core|net|service|ledger)_tests$'

stage "ThreadSanitizer; next: fuzz targets, a short run each (scripts/fuzz.sh runs them longer)"
scripts/fuzz.sh 15

stage "fuzz targets; next: clang-tidy on every source"
scripts/tidy.sh

stage "clang-tidy; next: the Debian package, checked by lintian"
scripts/package.sh
