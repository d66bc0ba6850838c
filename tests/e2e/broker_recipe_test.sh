#!/usr/bin/env bash
# The README's broker recipe on Debian's own mosquitto.conf: the drop-in and the ACL, read from
# the README, with the files they name moved into this test's folder. The broker starts, keeps
# the ledger's session over a restart with all of a 20,000-message backlog, which a station's
# login asking for the ledger's client id does not take, and refuses a stranger and a station
# publishing under another room.
set -euo pipefail
source "$(dirname "$0")/readme_broker.sh"
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
