#!/usr/bin/env bash
# The README's hall recipe with the plant's broker recipe, both read from the README: a hall's
# broker with the hall drop-in (its listener moved off 1883, which the plant's broker holds here),
# the plant's ACL with the hall's lines. The bridge logs in as hall1; its link's state reaches the
# ledger's login, a room's weighing goes up and the ledger's replay request comes down; a weighing
# under a room the hall was not given is dropped at the plant's broker.
set -euo pipefail
source "$(dirname "$0")/readme_broker.sh"
block "<!-- hall acl: /etc/mosquitto/tarvelio.acl -->" >>"$work/tarvelio.acl"
grep -q '^user hall1' "$work/tarvelio.acl" || fail "no hall ACL in the README"
mosquitto_passwd -b "$work/tarvelio.passwd" hall1 secret-hall1
start_broker

{
    printf 'per_listener_settings false\nlistener 2883 127.0.0.1\nallow_anonymous true\n'
    block "<!-- hall broker drop-in: /etc/mosquitto/conf.d/tarvelio-hall.conf -->" |
        sed -e 's/broker\.zaklad\.lan:1883/127.0.0.1:1883/' -e 's/secret-of-hall1/secret-hall1/'
} >"$work/hall.conf"
grep -q '^connection hall1' "$work/hall.conf" || fail "no hall drop-in in the README"
mosquitto -c "$work/hall.conf" >"$work/hall.log" 2>&1 &
pids+=($!)

ledger() { mosquitto_sub -h 127.0.0.1 -p 1884 -u tarvelio-ledger -P secret-tarvelio-ledger "$@"; }
state=$(ledger -t '$SYS/broker/connection/+/state' -C 1 -W 20 -F '%t %p') ||
    fail "no link state at the ledger's login: $(cat "$work/hall.log")"
[ "$state" = '$SYS/broker/connection/hall1/state 1' ] || fail "the link's state: $state"

ledger -t 'tarvelio/+/+/weighing' -q 1 -W 10 -F '%t %p' >"$work/up" &
pids+=($!)
sleep 1  # the ledger's subscription in place
mosquitto_pub -h 127.0.0.1 -p 2883 -t tarvelio/room9/waga1/weighing -m forged -q 1
mosquitto_pub -h 127.0.0.1 -p 2883 -t tarvelio/room1/waga1/weighing -m up -q 1
mosquitto_pub -h 127.0.0.1 -p 1884 -u tarvelio-ledger -P secret-tarvelio-ledger \
    -t tarvelio/room1/replay -m down -r -q 1
down=$(mosquitto_sub -h 127.0.0.1 -p 2883 -t tarvelio/room1/replay -C 1 -W 10) ||
    fail "the replay request did not come down"
[ "$down" = down ] || fail "came down: $down"
for _ in $(seq 50); do
    grep -q 'room1/waga1/weighing up' "$work/up" && break
    sleep 0.1
done
sleep 0.5  # for what the hall forged, were it let through
[ "$(cat "$work/up")" = "tarvelio/room1/waga1/weighing up" ] || fail "came up: $(cat "$work/up")"
echo "PASSED"
