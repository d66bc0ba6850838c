# Sourced first by the tests of the README's broker recipe, whose first argument is the README:
# the test runs in a network namespace of its own (the recipe's ports are fixed), with a work
# folder and the processes it starts ended at its end. The README's drop-in and ACL go on Debian's
# own mosquitto.conf, the files they name moved into $work; the users tarvelio-ledger, room1 and
# room2 each have the password "secret-<user>"; start_broker starts the broker and waits until
# both listeners answer.
source "$(dirname "${BASH_SOURCE[0]}")/own_network.sh"
readme=$(realpath "$1")
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/processes.sh"
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
