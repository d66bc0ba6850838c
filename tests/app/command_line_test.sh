#!/usr/bin/env bash
# The real program's command line, with no display at all: --help and --version print and end
# without the window system or the single-instance guard; a bad option is explained on standard
# error and ends with status 2 before any window or connection.
set -euo pipefail
station=$(realpath "$1")
version=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export XDG_RUNTIME_DIR="$work/run"
mkdir -m 700 "$work/run"
fail() { echo "FAILED: $*"; exit 1; }

# The guard is held all along, as by a running copy: options that only print must not care.
exec 9>"$work/run/ApplicationTestMapServer.lock"
flock -n 9 || fail "could not take the guard"

out=$("$station" --version) || fail "--version ended with status $?"
[ "$out" = "tarvelio $version" ] || fail "--version printed '$out'"

out=$("$station" --help) || fail "--help ended with status $?"
grep -q '^Usage: ' <<<"$out" || fail "--help printed no usage"
grep -q -- '--technical' <<<"$out" || fail "--help does not list --technical"

for bad in --bogus extra; do
    status=0
    "$station" "$bad" >"$work/out" 2>"$work/err" || status=$?
    [ "$status" -eq 2 ] || fail "$bad ended with status $status"
    [ ! -s "$work/out" ] || fail "$bad printed to standard output"
    grep -q "^tarvelio: .*'${bad#--}'" "$work/err" || fail "$bad is not named: $(cat "$work/err")"
    grep -q '^Usage: ' "$work/err" || fail "$bad printed no usage"
done
# Without a display, or with one that cannot be opened: a plain message and status 1, before any
# window or the guard (which is held all along).
for display in "" ":59999"; do
    status=0
    DISPLAY=$display "$station" >"$work/out" 2>"$work/err" || status=$?
    [ "$status" -eq 1 ] || fail "DISPLAY='$display' ended with status $status: $(cat "$work/err")"
    [ "$(cat "$work/err")" = "tarvelio: no display; start it in a desktop session, or under xvfb-run" ] ||
        fail "DISPLAY='$display' said: $(cat "$work/err")"
done

# The run command says so too, before it builds anything.
status=0
out=$(timeout 20 "$(dirname "$0")/../../scripts/run.sh" 2>&1) || status=$?
[ "$status" -eq 1 ] || fail "scripts/run.sh without a display ended with status $status"
grep -q '^No display' <<<"$out" || fail "scripts/run.sh said: $out"
echo "PASSED"
