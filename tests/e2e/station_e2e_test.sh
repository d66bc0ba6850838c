#!/usr/bin/env bash
# The real station under a virtual X server, driven from outside as an operator would, with
# the scale emulator as its four scales: start-up, lamps, saving, a second copy, the settings
# dialog and a scale that resets.
set -euo pipefail
station=$(realpath "$1")
emulator=$(realpath "$2")
source "$(dirname "$0")/session.sh"
source "$(dirname "$0")/../../scripts/emulator_settings.sh"
start_session

# Scales weighing 1001, 2002, 3003 and 4004 kg; scale 2 resets its connection after 100 lines.
"$emulator" --port 0 --rate 20 --start 1:1001 --start 2:2002 --start 3:3003 --start 4:4004 \
    --fault 2:reset-after=100 >"$work/ports" &
pids+=($!)
for _ in $(seq 50); do [ "$(wc -l <"$work/ports")" -eq 4 ] && break; sleep 0.1; done
settings_for_emulator "$work/ports" >dane/konfig.ini

"$station" & first=$!; pids+=("$first")
window=$(timeout 10 xdotool search --sync --onlyvisible --pid "$first" --name "$caption" | head -1)
[ -n "$window" ] || fail "no main window"
geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/ *Geometry: //p')
[ "$geometry" = "900x320" ] || fail "window is $geometry"
for n in 1 2 3 4; do wait_lamp "$window" "$n" "$green"; done

# "Zapisz ważenie" on every scale: one exact line each in the month's register.
sleep 0.3
for n in 1 2 3 4; do click "$window" $((lamp_x[n] + 85)) 220; done
register="dane/$(date +%Y%m).txt"
for _ in $(seq 20); do [ "$(wc -l <"$register" 2>/dev/null)" = 4 ] && break; sleep 0.1; done
stamp='[0-9]{4}-[0-9]{2}-[0-9]{2}, [0-9]{2}:[0-9]{2}:[0-9]{2}'
weights=(0 1001 2002 3003 4004)
for n in 1 2 3 4; do
    grep -qaP "^$stamp\twaga$n\t${weights[n]}\r\$" "$register" ||
        fail "no register line for scale $n in: $(od -c "$register" | head)"
done

# A second copy is refused and the first keeps working.
"$station" & second=$!; pids+=("$second")
box=$(timeout 10 xdotool search --sync --onlyvisible --pid "$second" --name '^Error$' | head -1)
[ -n "$box" ] || fail "the second copy shows no message"
xdotool windowfocus --sync "$box" key Return
timeout 10 tail --pid="$second" -f /dev/null || fail "the second copy did not end"
wait_lamp "$window" 1 "$green"

# "Ustawienia", then OK: the file gets its eight keys and every scale comes back.
click "$window" 384 33
dialog=$(timeout 10 xdotool search --sync --onlyvisible --name '^Ustawienia$' | head -1)
[ -n "$dialog" ] || fail "no settings dialog"
xdotool windowfocus --sync "$dialog" key Return
# The keys are written one at a time, each by a replacement of the file: wait for all eight.
keys() { grep -cE '^(address|port)[1-4]=' dane/konfig.ini || true; }
for _ in $(seq 50); do [ "$(keys)" = 8 ] && break; sleep 0.1; done
[ "$(keys)" = 8 ] || fail "konfig.ini: $(cat dane/konfig.ini)"
for n in 1 3 4; do wait_lamp "$window" "$n" "$green"; done

# Scale 2 resets: red, and its "połącz" button brings it back.
wait_lamp "$window" 2 "$red"
click "$window" 276 178
wait_lamp "$window" 2 "$green"
echo "PASSED"
