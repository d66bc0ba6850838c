#!/usr/bin/env bash
# Publishing through a real broker: the station is killed (SIGKILL) right after a save made
# while the broker is down; once the broker and the station are back, the weighing reaches a
# collector that was away all along, exactly as the register holds it.
set -euo pipefail
station=$(realpath "$1")
emulator=$(realpath "$2")
source "$(dirname "$0")/session.sh"
source "$(dirname "$0")/../../scripts/emulator_settings.sh"
source "$(dirname "$0")/broker.sh"
start_session mosquitto mosquitto_sub

"$emulator" --port 0 --rate 20 --start 1:1001 >"$work/ports" &
pids+=($!)
for _ in $(seq 50); do [ "$(wc -l <"$work/ports")" -eq 4 ] && break; sleep 0.1; done

start_broker
mosquitto_sub -p "$broker_port" -h 127.0.0.1 -c -i collector -q 1 -t 't/+/weighing' -F '%p' \
    >"$work/collected" &
pids+=($!)
end_signal[$!]=KILL  # its own SIGTERM handler can deadlock in the library
{ settings_for_emulator "$work/ports"; printf '[Publikacja]\r\nbroker=127.0.0.1\r\nport=%s\r\ntopic=t\r\n' "$broker_port"; } >dane/konfig.ini

start_station() {
    "$station" 2>>"$work/station.err" & station_pid=$!; pids+=("$station_pid")
    window=$(timeout 10 xdotool search --sync --onlyvisible --pid "$station_pid" --name "$caption" | head -1)
    [ -n "$window" ] || fail "no main window"
}
start_station
online=$(mosquitto_sub -p "$broker_port" -h 127.0.0.1 -t t/status -C 1 -W 10) || true
[ "$online" = online ] || fail "the station did not come online: $(cat "$work/station.err")"
wait_lamp "$window" 1 "$green"

end_process "$broker"
sleep 0.3
click "$window" $((lamp_x[1] + 85)) 220
register="dane/$(date +%Y%m).txt"
for _ in $(seq 20); do [ -s "$register" ] && break; sleep 0.05; done
[ -s "$register" ] || fail "nothing saved"
end_process "$station_pid" KILL

restart_broker || fail "the broker did not start again: $(cat "$work/broker.log")"
start_station
for _ in $(seq 100); do [ -s "$work/collected" ] && break; sleep 0.1; done
expected=$(tr -d '\r' <"$register" | sed 's/\t/\\t/g')
grep -qF "\"line\":\"$expected\"" "$work/collected" ||
    fail "collected: $(cat "$work/collected"), register: $expected"
[ "$(wc -l <"$work/collected")" -eq 1 ] || fail "collected more than once: $(cat "$work/collected")"
echo "PASSED"
