#!/usr/bin/env bash
# The plant page in a real browser: two real stations (rooms) with emulated scales publish to a
# real broker, the ledger keeps their weighings and serves the page, and headless chromium,
# driven through WebDriver (tests/e2e/plant_page_check.py), shows what they do, that the ledger
# lost its broker and found it again, and that it lost the ledger and found it again.
set -euo pipefail
station=$(realpath "$1")
emulator=$(realpath "$2")
ledger=$(realpath "$3")
files=$(realpath "$4")
check=$(realpath "$5")
source "$(dirname "$0")/session.sh"
source "$(dirname "$0")/../../scripts/emulator_settings.sh"
source "$(dirname "$0")/broker.sh"
start_session mosquitto chromium chromedriver python3
start_broker

cat >"$work/ledger.ini" <<CONF
[Broker]
broker=127.0.0.1
port=$broker_port
topic=plant
client_id=ledger
[Baza]
url=sqlite:$work/ledger.sqlite
[Strona]
listen=127.0.0.1:$(free_port)
files=$files
CONF
# The check ends the ledger once and starts it again on the same port with start-ledger.
cat >"$work/start-ledger" <<SCRIPT
#!/bin/sh
exec "$ledger" --config "$work/ledger.ini" >>"$work/ledger.log" 2>&1
SCRIPT
chmod +x "$work/start-ledger"
"$work/start-ledger" &
ledger_pid=$!
pids+=("$ledger_pid")
for _ in $(seq 50); do grep -q "page on" "$work/ledger.log" && break; sleep 0.1; done
url=$(grep -o 'http://127.0.0.1:[0-9]*/' "$work/ledger.log") || fail "no page: $(cat "$work/ledger.log")"

# Room 2's name carries markup, which the page must show as text.
rooms=("pokoj1" "<i>pokój 2")
windows=()
emulators=()
for room in 1 2; do
    dir="$work/room$room"
    mkdir -p "$dir/dane" && mkdir -m 700 "$dir/run"
    "$emulator" --port 0 --rate 20 --start 1:$((1000 * room)) >"$dir/ports" &
    pids+=($!)
    emulators+=($!)
    for _ in $(seq 50); do [ "$(wc -l <"$dir/ports")" -eq 4 ] && break; sleep 0.1; done
    { settings_for_emulator "$dir/ports"
      printf '[Publikacja]\r\nbroker=127.0.0.1\r\nport=%s\r\ntopic=plant/%s\r\nclient_id=c%s\r\n' \
          "$broker_port" "${rooms[room - 1]}" "$room"; } >"$dir/dane/konfig.ini"
    (cd "$dir" && XDG_RUNTIME_DIR="$dir/run" exec "$station" 2>>"$dir/station.err") &
    pid=$!
    pids+=("$pid")
    window=$(timeout 10 xdotool search --sync --onlyvisible --pid "$pid" --name "$caption" | head -1)
    [ -n "$window" ] || fail "no main window for room $room"
    windows+=("$window")
done

/usr/bin/python3 "$check" --url "$url" --database "$work/ledger.sqlite" --rooms "${rooms[@]}" \
    --save-window "${windows[0]}" --save-x $((lamp_x[1] + 85)) --save-y 220 \
    --end-emulator "${emulators[1]}" --ledger "$work/start-ledger" --ledger-pid "$ledger_pid" \
    --broker-pid "$broker" --broker-config "$work/mosquitto.conf" \
    ${STATION_PAGE_PICTURES:+--pictures "$STATION_PAGE_PICTURES"} ||
    fail "the page check failed; ledger: $(tail -5 "$work/ledger.log")"
echo "PASSED"
