# Sourced by the serial end-to-end tests, whose arguments are the station, the emulator and the
# shipped ser2net configuration: the session of session.sh, four emulated scales on
# pseudo-terminals and a real ser2net serving them with the shipped configuration, only the
# devices and ports changed.
station=$(realpath "$1")
emulator=$(realpath "$2")
shipped=$(realpath "$3")
source "$(dirname "${BASH_SOURCE[0]}")/session.sh"
start_session ser2net ss

# serve_serial_scales OPTION... starts the emulator with the four links $work/waga1..4.
serve_serial_scales() {
    "$emulator" "$@" --serial 1:"$work/waga1" --serial 2:"$work/waga2" \
        --serial 3:"$work/waga3" --serial 4:"$work/waga4" >/dev/null &
    emulator_pid=$!
    pids+=("$emulator_pid")
    for _ in $(seq 50); do [ -e "$work/waga4" ] && return 0; sleep 0.1; done
    fail "the emulator made no serial links"
}

# Starts ser2net for the four links on ports the system chooses, once they listen.
start_ser2net() {
    sed -e "s|/dev/ttyUSB0|$work/waga1|;s|/dev/ttyUSB1|$work/waga2|" \
        -e "s|/dev/ttyUSB2|$work/waga3|;s|/dev/ttyUSB3|$work/waga4|" \
        -e 's|\(accepter: tcp,127\.0\.0\.1,\)200[1-4]$|\10|' "$shipped" >"$work/ser2net.yaml"
    [ "$(grep -c ',127.0.0.1,0$' "$work/ser2net.yaml")" = 4 ] || fail "the shipped file changed shape"
    ser2net -n -c "$work/ser2net.yaml" -P "$work/ser2net.pid" 2>"$work/ser2net.err" &
    ser2net_pid=$!
    pids+=("$ser2net_pid")
    for _ in $(seq 50); do [ "$(ser2net_listening | wc -l)" = 4 ] && return 0; sleep 0.1; done
    fail "ser2net listens on: $(ser2net_listening) $(cat "$work/ser2net.err")"
}
ser2net_listening() { ss -Htlnp | awk -v pid="pid=$ser2net_pid," 'index($0, pid) { print $4 }'; }
# The connections ser2net holds, with their send queues: "SEND-Q PEER" a line.
ser2net_connections() { ss -Htnp state established | awk -v pid="pid=$ser2net_pid," 'index($0, pid) { print $2, $4 }'; }

# Unplugs every scale with nothing in flight: the emulator is stopped, ser2net forwards what
# it has read, and only then are the lines cut (the emulator, stopped, writes nothing more).
unplug_when_forwarded() {
    kill -STOP "$emulator_pid"
    for _ in $(seq 50); do
        sleep 0.1
        ser2net_connections | awk '$1 != 0 { busy = 1 } END { exit busy }' && break
    done
    end_process "$emulator_pid" KILL
}
