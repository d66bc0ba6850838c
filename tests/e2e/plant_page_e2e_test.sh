#!/usr/bin/env bash
# The plant page in a real browser: two real stations (rooms) with emulated scales publish to a
# real broker, the ledger keeps their weighings in a throwaway PostgreSQL cluster and serves the
# page, and headless chromium, driven through WebDriver (tests/e2e/plant_page_check.py), shows
# what they do, that the ledger lost its broker, then its database, and found each again, that it
# lost the ledger and found it again, and strangers' room names as text.
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

# PostgreSQL refuses to run as root: root runs it as nobody, in a folder nobody owns.
pg_bin=/usr/lib/postgresql/15/bin
[ -x "$pg_bin/postgres" ] || { echo "SKIPPED: no PostgreSQL 15 (scripts/test.sh installs it)"; exit 77; }
as_owner=()
mkdir "$work/pg"
if [ "$(id -u)" -eq 0 ]; then
    as_owner=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    chmod 711 "$work" && chown nobody "$work/pg"
fi
"${as_owner[@]}" "$pg_bin/initdb" -D "$work/pg/data" -A trust -U postgres --no-sync -E UTF8 \
    --locale=C >"$work/pg/initdb.log" 2>&1 || fail "initdb: $(cat "$work/pg/initdb.log")"
# The check stops the database once and starts it again with start-database.
cat >"$work/start-database" <<SCRIPT
#!/bin/sh
exec ${as_owner[*]} $pg_bin/postgres -D $work/pg/data -k $work/pg -c listen_addresses= >>$work/pg/server.log 2>&1
SCRIPT
chmod +x "$work/start-database"
"$work/start-database" &
database_pid=$!
pids+=("$database_pid")
end_signal[$database_pid]=INT  # a fast shutdown, which does not wait for the ledger's connections
for _ in $(seq 100); do "$pg_bin/pg_isready" -q -h "$work/pg" && break; sleep 0.1; done
"$pg_bin/pg_isready" -q -h "$work/pg" || fail "no database: $(cat "$work/pg/server.log")"

cat >"$work/ledger.ini" <<CONF
[Broker]
broker=127.0.0.1
port=$broker_port
topic=plant
client_id=ledger
[Baza]
url=postgresql:///postgres?host=$work/pg&user=postgres
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
stations=()
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
    stations+=("$pid")
    window=$(timeout 10 xdotool search --sync --onlyvisible --pid "$pid" --name "$caption" | head -1)
    [ -n "$window" ] || fail "no main window for room $room"
    windows+=("$window")
done

/usr/bin/python3 "$check" --url "$url" --rooms "${rooms[@]}" \
    --save-window "${windows[0]}" --save-x $((lamp_x[1] + 85)) --save-y 220 \
    --end-emulator "${emulators[1]}" --end-station "${stations[1]}" \
    --ledger "$work/start-ledger" --ledger-pid "$ledger_pid" \
    --broker-pid "$broker" --broker-port "$broker_port" --broker-config "$work/mosquitto.conf" \
    --database "$work/start-database" --database-pid "$database_pid" --database-socket "$work/pg" \
    ${STATION_PAGE_PICTURES:+--pictures "$STATION_PAGE_PICTURES"} ||
    fail "the page check failed; ledger: $(tail -5 "$work/ledger.log")"
echo "PASSED"
