#!/usr/bin/env bash
# The README's broker recipe as copied: its drop-in and ACL, two stations on this one machine
# (room1 and room2, each from a folder of its own) with the station settings it gives, and the
# ledger with the settings it gives; only the broker's host name and the files' folders are
# changed. Both rooms' weighings reach the ledger. A third station, logged in as room3 but left
# with room1's topic, which the ACL refuses, says so and names the topic.
set -euo pipefail
source "$(dirname "$0")/readme_broker.sh"
station=$(realpath "$2")
ledger=$(realpath "$3")
mosquitto_passwd -b "$work/tarvelio.passwd" room3 secret-room3
start_broker

copied() { block "$1" | sed -e "s/broker\.zaklad\.lan/127.0.0.1/" -e "s|/etc/tarvelio/|$work/|"; }
secret() { echo "secret-$1" >"$work/$2" && chmod 600 "$work/$2"; }
# A station in folder $1 with the settings the README gives room1's, for the user $2 and the
# topic's room $3, a weighing of scale 1 reading $4 in its register this month.
start_station() {
    local dir="$work/$1"
    mkdir -p "$dir/dane" && mkdir -m 700 "$dir/run"
    copied "<!-- broker recipe: a station's dane/konfig.ini -->" |
        sed -e "s/room1/$2/g" -e "s|^topic=tarvelio/.*|topic=tarvelio/$3|" >"$dir/dane/konfig.ini"
    grep -q "^topic=tarvelio/$3$" "$dir/dane/konfig.ini" || fail "no station settings in the README"
    secret "$2" "$2.password"
    printf '%s\twaga1\t%s\r\n' "$(date '+%Y-%m-%d, %H:%M:%S')" "$4" >"$dir/dane/$(date +%Y%m).txt"
    (cd "$dir" && QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$dir/run" exec "$station" \
        >"$dir/out" 2>&1) &
    pids+=($!)
}
start_station room1 room1 room1 111
start_station room2 room2 room2 222
copied "<!-- broker recipe: /etc/tarvelio/ledger.ini -->" >"$work/ledger.ini"
grep -q '^username=tarvelio-ledger' "$work/ledger.ini" || fail "no ledger settings in the README"
printf '[Baza]\nurl=sqlite:%s\n[Strona]\nlisten=127.0.0.1:0\n' "$work/ledger.sqlite" >>"$work/ledger.ini"
secret tarvelio-ledger broker.password
"$ledger" --config "$work/ledger.ini" >"$work/ledger.log" 2>&1 &
pids+=($!)

weighings() {
    [ -f "$work/ledger.sqlite" ] && python3 -c 'import sqlite3, sys
print(" ".join(f"{s}:{r}" for s, r in sqlite3.connect(sys.argv[1]).execute(
    "SELECT station, reading FROM weighings ORDER BY station")))' "$work/ledger.sqlite" 2>/dev/null
}
for _ in $(seq 300); do
    [ "$(weighings)" = "room1:111 room2:222" ] && break
    sleep 0.1
done
[ "$(weighings)" = "room1:111 room2:222" ] || fail "the ledger holds '$(weighings)'; $(tail -5 "$work/ledger.log")"

start_station misplaced room3 room1 333
for _ in $(seq 150); do
    grep -q "ACL.*tarvelio/room1" "$work/misplaced/out" && break
    sleep 0.1
done
grep -q "ACL.*tarvelio/room1" "$work/misplaced/out" || fail "the misplaced station said: $(cat "$work/misplaced/out")"
echo "PASSED"
