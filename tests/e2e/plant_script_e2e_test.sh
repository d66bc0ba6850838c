#!/usr/bin/env bash
# scripts/plant.sh as a user runs it, under a virtual X server: the page answers, both rooms are
# online on it, and a save at a station reaches the database and the page. The script's ports
# are fixed, so it runs in a network namespace of its own, where they meet no other test's.
set -euo pipefail
source "$(dirname "$0")/own_network.sh"
build=$(realpath "$1")
repo=$(realpath "$(dirname "$0")/../..")
source "$(dirname "$0")/session.sh"
start_session mosquitto python3 ip
export PLANT_DIR="$work/plant"
"$repo/scripts/plant.sh" "$build" >"$work/plant.out" 2>&1 &
pids+=($!)
for _ in $(seq 300); do grep -q "The plant page:" "$work/plant.out" && break; sleep 0.1; done
url=$(sed -n 's/^The plant page: //p' "$work/plant.out")
[ -n "$url" ] || fail "no page: $(cat "$work/plant.out")"
window=$(timeout 10 xdotool search --sync --onlyvisible --name "$caption" | head -1)

/usr/bin/python3 - "$url" "$PLANT_DIR/ledger.sqlite" "$window" $((lamp_x[1] + 85)) <<'CHECK' ||
import datetime, json, sqlite3, subprocess, sys, time, urllib.request
url, database, window, save_x = sys.argv[1:]

def get(path):
    with urllib.request.urlopen(url + path, timeout=5) as answer:
        return answer.status, answer.read().decode()

def wait(what, done, seconds=30):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            if done():
                return
        except Exception:
            pass
        time.sleep(0.2)
    sys.exit("no " + what)

status, page = get("")
assert status == 200 and "<html" in page.lower(), page[:200]
wait("two rooms online", lambda: all(
    json.loads(get("api/stations")[1]).get(room, {}).get("online") for room in ("room1", "room2")))
# The save button of scale 1 in whichever room's window was found.
subprocess.run(["xdotool", "mousemove", "--window", window, save_x, "220", "click", "1"], check=True)
def saved():
    with sqlite3.connect(database) as db:
        return db.execute("SELECT COUNT(*) FROM weighings").fetchone()[0] >= 1
wait("weighing in the database", saved)
today = datetime.date.today().isoformat()
wait("weighing on the page", lambda: json.loads(get("api/day?day=" + today)[1])["rows"])
CHECK
    fail "the plant check failed; $(tail -5 "$work/plant.out")"
echo "PASSED"
