#!/usr/bin/env bash
# Builds the station with warnings as errors and runs every test; then the whole suite again in
# a build with AddressSanitizer and UndefinedBehaviorSanitizer, the base, net, service and ledger
# tests (the work runner's threads, the name lookup, the broker attempt, publishing, the ledger;
# the core has no threads) under ThreadSanitizer, each fuzz target briefly, clang-tidy on every
# source (beside the tests), and the Debian package of the normal build through lintian. The later stages' builds run
# while the earlier stages' tests wait.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
# Each stage says how long it took, and the whole run its total, so the time can be followed.
stage_started=$SECONDS
stage() {
    echo "== [$((SECONDS - stage_started)) s] $1"
    stage_started=$SECONDS
}
# clang-tidy and the later builds run beside the tests (below); they must not outlive a run that
# stops early.
tidy_pid=
builds_pid=
trap '[ -z "$tidy_pid" ] || kill -- -"$tidy_pid" 2>/dev/null || true
      [ -z "$builds_pid" ] || kill -- -"$builds_pid" 2>/dev/null || true
      echo "== [$((SECONDS - stage_started)) s] (last stage); total $SECONDS s"' EXIT
ensure_packages "${station_build_packages[@]}" "${station_test_packages[@]}" \
    "${station_package_tools[@]}"
ensure_test_locale
stage "packages and locale; next: the normal build and its tests"

# Runs the tests of build directory $1 (further arguments go to ctest). A test that did not run,
# skipped for a missing package or privilege, fails the command as a failed one does. Most tests
# wait (on brokers, databases, timers and children), so twice as many as cores run at once.
run_tests() {
    local build=$1
    shift
    ctest --test-dir "$build" --output-on-failure -j"$(($(nproc) * 2))" "$@" 2>&1 |
        tee "$build/ctest.log"
    if grep -q 'tests did not run' "$build/ctest.log"; then
        echo "tests skipped in $build: each must run here" >&2
        exit 1
    fi
}

# clang-tidy reads the compilation database that configuring alone makes (build/tidy is never
# built), a unity build's, so that each header is read once per batch (scripts/tidy.sh). It
# takes the cores the builds and tests leave idle (the tests mostly wait on brokers, databases,
# timers and children), at the lowest priority so that they keep theirs. It runs in a session of its own, so that all of it can be stopped; the kernel
# schedules each session as a group, fairly against the others, so the group's priority is
# lowered too.
cmake -S . -B build/tidy -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTATION_WERROR=ON \
    -DCMAKE_CXX_FLAGS_RELEASE="-O3 -g1 -DNDEBUG" -DCMAKE_UNITY_BUILD=ON >/dev/null
setsid bash -c '[ ! -w /proc/self/autogroup ] || echo 19 >/proc/self/autogroup
                exec nice -n 19 scripts/tidy.sh build/tidy' >build/tidy/tidy.out 2>&1 &
tidy_pid=$!
# The normal build is also the package's (scripts/package.sh, last): Release at -O3, as shipped,
# with line tables (-g1) so that backtraces keep their file and line; the package strips them.
# Like the sanitizer builds below, it compiles as a unity build (a few sources per translation
# unit). The benchmarks that are not tests are only compiled here, unoptimised: their figures
# come from a build of their own.
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTATION_WERROR=ON \
    -DSTATION_MANPAGES=ON -DCMAKE_CXX_FLAGS_RELEASE="-O3 -g1 -DNDEBUG" -DCMAKE_UNITY_BUILD=ON \
    -DSTATION_BENCH_UNOPTIMISED=ON
# The sanitizer builds run at -O1, as the sanitizers advise, and compile as unity builds too.
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTATION_WERROR=ON \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DSTATION_SANITIZE=ON -DSTATION_BENCH=OFF \
    -DCMAKE_UNITY_BUILD=ON >/dev/null
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTATION_WERROR=ON \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DSTATION_TSAN=ON -DSTATION_BENCH=OFF \
    -DCMAKE_UNITY_BUILD=ON >/dev/null
cmake -S fuzz -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build/test

# The tests mostly wait, so the builds of the later stages run meanwhile, one after another, in a
# session of their own at a low priority (above clang-tidy's): each stage then waits only for what
# its build has left. Each build says it is done with a mark in its folder; its output is in its
# log.
rm -f build/asan/built build/tsan/built build/fuzz/built
setsid bash -c '[ ! -w /proc/self/autogroup ] || echo 10 >/proc/self/autogroup
    build() { local dir=$1; shift
              nice -n 10 cmake --build "$dir" "$@" >"$dir/build.log" 2>&1 && touch "$dir/built"; }
    build build/asan && build build/tsan --target base_tests net_tests service_tests \
        ledger_tests && build build/fuzz' &
builds_pid=$!
# Waits for the build of folder $1, failing with its log if it failed.
built() {
    while [ ! -e "$1/built" ]; do
        if ! kill -0 "$builds_pid" 2>/dev/null; then
            cat "$1/build.log" >&2
            echo "the build of $1 failed" >&2
            exit 1
        fi
        sleep 1
    done
}
run_tests build/test

stage "the normal build and tests; next: the same tests under ASan and UBSan"
built build/asan
run_tests build/asan

stage "ASan and UBSan; next: base, net, service and ledger tests under ThreadSanitizer"
built build/tsan
# Less the tests that kill the ledger with SIGKILL over and over: a killed program reports
# nothing, and what they try of its threads the other ledger tests try too.
run_tests build/tsan -L '^(base|net|service|ledger)_tests$' -E '^Databases/LedgerCrashTest\.Killed'

stage "ThreadSanitizer; next: fuzz targets, a short run each (scripts/fuzz.sh runs them longer), and the Debian package beside them"
built build/fuzz
builds_pid=
# The package of the normal build, checked by lintian, is made while the fuzzers run: it needs
# nothing else.
scripts/package.sh build/test >build/test/package.log 2>&1 &
package_pid=$!
scripts/fuzz.sh 5

stage "fuzz targets; next: the rest of clang-tidy on every source"
status=0
wait "$tidy_pid" || status=$?
tidy_pid=
cat build/tidy/tidy.out
[ "$status" -eq 0 ]
scripts/tidy.sh build/fuzz

stage "clang-tidy; next: the Debian package made beside the fuzzers"
status=0
wait "$package_pid" || status=$?
cat build/test/package.log
[ "$status" -eq 0 ]
