#!/usr/bin/env bash
# The README's broker recipe on Debian's own mosquitto.conf: the drop-in and the ACL, read from
# the README, with the files they name moved into this test's folder. The broker starts, keeps
# the ledger's session over a restart with all of a 20,000-message backlog, which a station's
# login asking for the ledger's client id does not take, and refuses a stranger and a station
# publishing under another room.
set -euo pipefail
source "$(dirname "$0")/own_network.sh"
readme=$(realpath "$1")
source "$(dirname "$0")/../../scripts/processes.sh"
close_inherited_descriptors
work=$(mktemp -d)
pids=()
trap 'end_processes; rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }
chmod 755 "$work"
mkdir -p "$work/conf.d" "$work/store" "$work/run" "$work/log"

# The fenced block after the README's marker $1.
block() { awk -v marker="$1" 'index($0, marker) { found = 1; next }
    found && /^```/ { if (inside) exit; inside = 1; next } inside' "$readme"; }
moved() { sed -e "s|/etc/mosquitto/conf.d|$work/conf.d|; s|/etc/mosquitto/|$work/|" \
    -e "s|/run/mosquitto/|$work/run/|; s|/var/lib/mosquitto/|$work/store/|" \
    -e "s|/var/log/mosquitto/|$work/log/|"; }
moved </etc/mosquitto/mosquitto.conf >"$work/mosquitto.conf"
block "<!-- broker drop-in: /etc/mosquitto/conf.d/tarvelio.conf -->" | moved >"$work/conf.d/tarvelio.conf"
block "<!-- broker acl: /etc/mosquitto/tarvelio.acl -->" >"$work/tarvelio.acl"
grep -q '^listener 1883' "$work/conf.d/tarvelio.conf" || fail "no drop-in in the README"
grep -q '^pattern' "$work/tarvelio.acl" || fail "no ACL in the README"
mosquitto_passwd -b -c "$work/tarvelio-ledger.passwd" tarvelio-ledger secret-tarvelio-ledger
for user in room1 room2; do
    mosquitto_passwd -b ${first--c} "$work/tarvelio.passwd" "$user" "secret-$user"
    first=
done
# Started as root, the broker becomes the user "mosquitto", who must write its store and log.
id mosquitto >/dev/null 2>&1 && chown -R mosquitto: "$work/store" "$work/run" "$work/log" \
    "$work/tarvelio.passwd" "$work/tarvelio-ledger.passwd" "$work/tarvelio.acl"

start_broker() {
    mosquitto -c "$work/mosquitto.conf" &
    broker=$!
    pids+=("$broker")
    for _ in $(seq 100); do
        (exec 3<>/dev/tcp/127.0.0.1/1883 && exec 4<>/dev/tcp/127.0.0.1/1884) 2>/dev/null && return 0
        kill -0 "$broker" 2>/dev/null || fail "the broker did not start: $(cat "$work/log/"*)"
        sleep 0.05
    done
    fail "the broker does not listen"
}
as() { local user=$1; shift; "$@" -h 127.0.0.1 -u "$user" -P "secret-$user"; }
ledger() { as tarvelio-ledger mosquitto_sub -p 1884 -c -i ledger -q 1 -t 'tarvelio/+/+/weighing' "$@"; }

start_broker
ledger -E  # the lasting session, then away
# A station's login asking for the ledger's client id gets its room's: the ledger's session and
# what the broker keeps for it stay the ledger's. Its login does not open the ledger's listener.
as room2 mosquitto_sub -c -i ledger -q 1 -t 'tarvelio/+/+/weighing' -E
as room2 mosquitto_sub -p 1884 -c -i ledger -q 1 -t 'tarvelio/+/+/weighing' -E 2>/dev/null &&
    fail "a station's login opened the ledger's listener"
seq 20000 | as room1 mosquitto_pub -t tarvelio/room1/waga1/weighing -q 1 -l
as room1 mosquitto_pub -t tarvelio/room2/waga1/weighing -q 1 -m forged
mosquitto_pub -h 127.0.0.1 -t tarvelio/room2/waga1/weighing -q 1 -m stranger 2>"$work/stranger" &&
    fail "a publish without a user name was taken"
end_process "$broker"
start_broker
# Delivery is at least once: a message whose acknowledgement was cut off comes again.
mosquitto_sub -h 127.0.0.1 -p 1884 -u tarvelio-ledger -P secret-tarvelio-ledger -c -i ledger -q 1 \
    -t 'tarvelio/+/+/weighing' -W 60 >"$work/received" &
pids+=($!)
for _ in $(seq 600); do
    [ "$(sort -u "$work/received" | wc -l)" -ge 20000 ] && break
    sleep 0.1
done
sleep 1  # for what room1 forged under room2, were it let through
end_process "${pids[-1]}"
[ "$(sort -un "$work/received" | wc -l)" -eq 20000 ] ||
    fail "$(sort -u "$work/received" | wc -l) of 20,000 after the restart"
! grep -qv '^[0-9]*$' "$work/received" || fail "not the backlog's: $(grep -v '^[0-9]*$' "$work/received" | head -3)"
echo "PASSED"
