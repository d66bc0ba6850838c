# Sourced by end-to-end tests that publish: start_broker starts a broker with persistence in
# $work on a free port, $broker_port, trying another port when one was taken meanwhile; the
# broker's pid is $broker. restart_broker starts it again on the same port.
write_broker_settings() {
    cat >"$work/mosquitto.conf" <<CONF
user root
persistence true
persistence_location $work/
max_queued_messages 0
listener $broker_port 127.0.0.1
allow_anonymous true
CONF
}
# Returns 1 when the broker does not come up.
restart_broker() {
    mosquitto -c "$work/mosquitto.conf" >>"$work/broker.log" 2>&1 &
    broker=$!; pids+=("$broker")
    for _ in $(seq 100); do
        (exec 3<>"/dev/tcp/127.0.0.1/$broker_port") 2>/dev/null && return 0
        kill -0 "$broker" 2>/dev/null || return 1
        sleep 0.05
    done
    return 1
}
start_broker() {
    for _ in 1 2 3; do
        broker_port=$(free_port)
        write_broker_settings
        restart_broker && return 0
    done
    fail "no broker: $(cat "$work/broker.log")"
}
