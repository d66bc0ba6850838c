# Sourced: start_xvfb DIR starts a virtual X server on a free display, exports DISPLAY and
# appends the server's pid to the array `pids`. Returns 1 when no server comes up. The server
# does not reset when its last client leaves: a client connecting during a reset is refused.
start_xvfb() {
    local dir=$1
    command -v Xvfb >/dev/null || return 1
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$dir/display" 2>/dev/null &
    pids+=($!)
    for _ in $(seq 100); do [ -s "$dir/display" ] && break; sleep 0.05; done
    [ -s "$dir/display" ] || return 1
    export DISPLAY=":$(cat "$dir/display")"
}
