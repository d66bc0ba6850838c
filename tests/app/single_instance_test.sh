#!/usr/bin/env bash
# Two real copies of the station in one X session: the second says it is refused and ends
# without a main window; once the first has ended, a new copy starts normally.
set -euo pipefail
station=$(realpath "$1")
main_caption='^Program do monitorowania wag$'

source "$(dirname "$0")/../../scripts/processes.sh"
source "$(dirname "$0")/../../scripts/xvfb.sh"
close_inherited_descriptors
work=$(mktemp -d)
pids=()
cleanup() {
    end_processes
    rm -rf "$work"
}
trap cleanup EXIT
if ! command -v xdotool >/dev/null || ! start_xvfb "$work"; then
    echo "SKIPPED: no Xvfb or no xdotool (scripts/test.sh installs both)"
    exit 77
fi
export QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/run"
mkdir -m 700 "$work/run" && mkdir "$work/dane" && cd "$work"

# Prints the id of a visible window of process $1 whose name matches $2, waiting up to 10 s.
window_of() {
    timeout 10 xdotool search --sync --onlyvisible --pid "$1" --name "$2" | head -1
}
fail() { echo "FAILED: $*"; exit 1; }

"$station" & first=$!; pids+=("$first")
window_of "$first" "$main_caption" >/dev/null || fail "the first copy shows no main window"

"$station" & second=$!; pids+=("$second")
box=$(window_of "$second" '^Error$') || fail "the second copy shows no message"
[ "$(xdotool search --onlyvisible --name "$main_caption" | wc -l)" -eq 1 ] ||
    fail "the second copy showed a main window"
xdotool windowfocus --sync "$box" key Return
timeout 10 tail --pid="$second" -f /dev/null || fail "the second copy did not end"
wait "$second" || fail "the second copy ended with status $?"

kill -0 "$first" || fail "the first copy did not keep running"
end_process "$first"

"$station" & third=$!; pids+=("$third")
window_of "$third" "$main_caption" >/dev/null || fail "a new copy after the first did not start"
sleep 0.5
if xdotool search --onlyvisible --name '^Error$' >/dev/null; then
    fail "a new copy after the first was refused"
fi
echo "PASSED"
