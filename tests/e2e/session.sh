# Sourced by the end-to-end tests: a work folder and the processes started in it (ended, in
# reverse order and within a bound, when the test ends), and the station's window read and driven from outside.
# start_session TOOL... skips the test (status 77) without the tools or a virtual X server,
# then runs the test in the work folder with dane/ and its own session token.
caption='^Program do monitorowania wag$'
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/processes.sh"
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/xvfb.sh"
close_inherited_descriptors
work=$(mktemp -d)
pids=()
cleanup() {
    end_processes
    rm -rf "$work"
}
trap cleanup EXIT

start_session() {
    local tool
    for tool in xdotool xwdtopnm "$@"; do
        command -v "$tool" >/dev/null || { echo "SKIPPED: no $tool (scripts/test.sh installs it)"; exit 77; }
    done
    start_xvfb "$work" || { echo "SKIPPED: no Xvfb (scripts/test.sh installs it)"; exit 77; }
    export QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/run"
    mkdir -m 700 "$work/run" && mkdir "$work/dane" && cd "$work"
}

fail() { echo "FAILED: $*"; exit 1; }

# A TCP port on 127.0.0.1 that nothing listens on now, below the range the system hands out
# to outgoing connections (which a busy parallel test run uses up).
free_port() {
    local port
    while :; do
        port=$((20000 + RANDOM % 12000))
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return; }
    done
}

# "r g b" of one pixel of window $1 at $2,$3.
pixel() {
    xwd -silent -id "$1" | xwdtopnm 2>/dev/null | pamcut -left "$2" -top "$3" -width 1 -height 1 |
        pamtopnm -plain | tail -n +4 | xargs
}
lamp_x=(0 23 247 471 695)  # the middle of each scale's lamp
lamp_y=152
# Waits up to 10 s (or $4 tenths) for lamp $2 of window $1 to show the fill "r g b" $3.
wait_lamp() {
    for _ in $(seq "${4:-100}"); do
        [ "$(pixel "$1" "${lamp_x[$2]}" "$lamp_y")" = "$3" ] && return 0
        sleep 0.1
    done
    fail "lamp $2 is $(pixel "$1" "${lamp_x[$2]}" "$lamp_y"), not $3"
}
green="0 128 0"
red="255 0 0"
click() { xdotool mousemove --window "$1" "$2" "$3" click 1; }
