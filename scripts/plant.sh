#!/usr/bin/env bash
# A plant on this machine, from the binaries in build folder $1: a broker on 127.0.0.1:18830,
# two stations (rooms room1 and room2) with four emulated scales each (ports 2001-2004 and
# 2101-2104), publishing to it, side by side on the screen, and the ledger keeping their
# weighings in build/plant/ledger.sqlite (or $PLANT_DIR) and serving the plant page on
# 127.0.0.1:18080 from this checkout's files. Closing either station ends them all. Called by
# scripts/run.sh --plant.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
ensure_packages mosquitto xdotool libjs-chart.js
source scripts/demo_scales.sh
source scripts/processes.sh
bin=$(realpath "$1")
plant=$(realpath -m "${PLANT_DIR:-build/plant}")
broker_port=18830
page_port=18080
mkdir -p "$plant/broker"
# Run as whoever runs this: started as root, the broker would switch to a user that cannot
# write its store here.
cat >"$plant/broker/mosquitto.conf" <<CONF
user $(id -un)
per_listener_settings true
persistence true
persistence_location $plant/broker/
autosave_interval 1
max_queued_messages 0
log_dest file $plant/broker/broker.log
listener $broker_port 127.0.0.1
allow_anonymous true
CONF
cat >"$plant/ledger.ini" <<CONF
[Broker]
broker=127.0.0.1
port=$broker_port
topic=tarvelio
client_id=tarvelio-ledger-plant
[Baza]
url=sqlite:$plant/ledger.sqlite
[Strona]
listen=127.0.0.1:$page_port
files=$(pwd)/ledger/www
CONF

pids=()
trap end_processes EXIT
trap 'exit 130' INT TERM
start() {
    "$@" &
    pids+=($!)
}
start mosquitto -c "$plant/broker/mosquitto.conf"
sleep 0.3
start "$bin/ledger/tarvelio-ledger" --config "$plant/ledger.ini"
stations=()
screen_width=$(xdotool getdisplaygeometry 2>/dev/null | cut -d' ' -f1) || true
for room in 1 2; do
    dir="$plant/room$room"
    first_port=$((2001 + (room - 1) * 100))
    mkdir -p "$dir/dane" "$dir/runtime"
    chmod 700 "$dir/runtime"
    {
        echo "[Polaczenie]"
        for scale in 1 2 3 4; do
            echo "address$scale=127.0.0.1"
            echo "port$scale=$((first_port + scale - 1))"
        done
        echo "[Publikacja]"
        echo "broker=127.0.0.1"
        echo "port=$broker_port"
        echo "topic=tarvelio/room$room"
        echo "client_id=tarvelio-room$room"
    } >"$dir/dane/konfig.ini"
    start "$bin/tools/scale-emulator" "${demo_scale_options[@]}" --port "$first_port"
    # Each room its own session directory: one station runs per session.
    (cd "$dir" && XDG_RUNTIME_DIR="$dir/runtime" exec "$bin/app/tarvelio") &
    pids+=($!)
    stations+=($!)
    # Room 1 on the left, room 2 from the middle of the screen, so that both can be seen.
    # (--all: the window of this station that has the caption, not any of its windows or any
    # window with the caption)
    window=$(timeout 10 xdotool search --sync --onlyvisible --all --pid "$!" \
        --name '^Program do monitorowania wag$' 2>/dev/null | head -1) || true
    if [ -n "$window" ] && [ -n "$screen_width" ]; then
        xdotool windowmove "$window" $(((room - 1) * screen_width / 2)) 0 || true
    fi
done
echo "The plant runs: broker 127.0.0.1:$broker_port, rooms in $plant/room1 and $plant/room2."
echo "The plant page: http://127.0.0.1:$page_port/"
echo "The ledger's database: $plant/ledger.sqlite  (sqlite3 $plant/ledger.sqlite 'SELECT * FROM weighings')"
wait -n "${stations[@]}" || true
