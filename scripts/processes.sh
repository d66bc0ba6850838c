# Sourced by scripts and tests that start processes beside them.
# end_processes ends every process in the array `pids`, the last started first, each with the
# signal `end_signal[PID]` names (TERM unless set). end_process PID [SIGNAL] ends one: the
# signal, then SIGKILL if it still runs 5 s later (said on standard error), and it is reaped, so
# nothing waits without a bound.
declare -gA end_signal=()
end_process() {
    local pid=$1 signal=${2:-TERM} name
    kill -"$signal" "$pid" 2>/dev/null || { wait "$pid" 2>/dev/null || true; return 0; }
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        name=$(ps -o comm= -p "$pid" || true)
        echo "$name (pid $pid) still ran 5 s after SIG$signal: killed" >&2
        kill -KILL "$pid" 2>/dev/null || true
    fi
    wait "$pid" 2>/dev/null || true
}
end_processes() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        end_process "${pids[i]}" "${end_signal[${pids[i]}]:-TERM}"
    done
    pids=()
}

# Closes every descriptor above standard error that this shell inherited (the test runner's
# own among them), so that the programs it starts hold only what they need.
close_inherited_descriptors() {
    local fd
    for fd in /proc/$$/fd/*; do
        fd=${fd##*/}
        if [ "$fd" -gt 2 ] && [ "$fd" -lt 255 ]; then
            eval "exec $fd>&-" 2>/dev/null || true
        fi
    done
}
