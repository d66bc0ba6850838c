#!/usr/bin/env bash
# Scales on RS-232 through a real ser2net: the emulator serves four serial scales on
# pseudo-terminals, ser2net runs the shipped configuration (only devices and ports changed) and
# the real station, in its technical view, reads them. Also: ser2net listens on the loopback
# address only, a scale that is unplugged turns its lamp red, and "połącz" brings it back.
# With STATION_SCREENSHOT=FILE.png the main window is saved there at the end.
set -euo pipefail
source "$(dirname "$0")/serial_session.sh"
now_ms() { date +%s%3N; }

serve_scales() {
    serve_serial_scales --rate 10 --format status --start 1:1001 --start 2:2002 \
        --start 3:3003 --start 4:4004
}
serve_scales
start_ser2net
if ser2net_listening | grep -qv '^127\.0\.0\.1:'; then
    fail "ser2net listens beyond the loopback address: $(ser2net_listening | xargs)"
fi
# Which port serves which scale: scale N weighs N00N kg.
echo "[Polaczenie]" >dane/konfig.ini
for address in $(ser2net_listening); do
    port=${address##*:}
    sample=$(timeout 3 bash -c "exec 3<>/dev/tcp/127.0.0.1/$port && head -c 60 <&3" || true)
    n=$(grep -aoE '[1-4]00[1-4]\.0' <<<"$sample" | head -c 1)
    [ -n "$n" ] || fail "port $port sends: $sample"
    echo "port$n=$port" >>dane/konfig.ini
done

register="dane/$(date +%Y%m).txt"
# Presses "Zapisz ważenie" of every scale until each has saved a reading; prints how long.
save_readings() {
    local from=$1 n
    for _ in $(seq 50); do
        for n in 1 2 3 4; do click "$window" $((lamp_x[n] + 85)) 220; done
        sleep 0.1
        if [ "$(tail -n 4 "$register" 2>/dev/null | grep -caP '\twaga[1-4]\t[1-4]00[1-4]\r$')" = 4 ]; then
            echo $(($(now_ms) - from))
            return 0
        fi
    done
    fail "no readings saved: $(tail -n 8 "$register" | od -c | head)"
}

started=$(now_ms)
"$station" --technical & pids+=($!)
window=$(timeout 10 xdotool search --sync --onlyvisible --name "$caption" | head -1)
[ -n "$window" ] || fail "no main window"
for n in 1 2 3 4; do wait_lamp "$window" "$n" "$green"; done
echo "first readings saved $(save_readings "$started") ms after the station started"
for n in 1 2 3 4; do
    grep -qaP "\twaga$n\t${n}00$n\r\$" "$register" || fail "scale $n saved another reading"
done

# Unplugged: every lamp red. Plugged in again: one "połącz" each brings the readings back.
unplug_when_forwarded
for n in 1 2 3 4; do wait_lamp "$window" "$n" "$red"; done
: >"$register"
restarted=$(now_ms)
serve_scales
for n in 1 2 3 4; do click "$window" $((lamp_x[n] + 29)) 178; done
for n in 1 2 3 4; do wait_lamp "$window" "$n" "$green"; done
echo "readings saved again $(save_readings "$restarted") ms after the emulator started again"

# The technical view: "Ustawienia", page "Inne", the log switch, OK: the log panel shows.
click "$window" 384 33
dialog=$(timeout 10 xdotool search --sync --onlyvisible --name '^Ustawienia$' | head -1)
[ -n "$dialog" ] || fail "no settings dialog"
xdotool windowfocus --sync "$dialog" key ctrl+Tab
sleep 0.2
click "$dialog" 176 121
xdotool windowfocus --sync "$dialog" key Return
for _ in $(seq 50); do
    geometry=$(xdotool getwindowgeometry "$window" | sed -n 's/ *Geometry: //p')
    [ "$geometry" = "1150x410" ] && break
    sleep 0.1
done
[ "$geometry" = "1150x410" ] || fail "no log panel: the window is $geometry"
# Centred at 900 wide, it grew to the right; it moved back just enough to stay on the screen.
left=$(xdotool getwindowgeometry "$window" | sed -n 's/ *Position: \([0-9]*\),.*/\1/p')
[ "$left" -eq $((1280 - 1150)) ] || fail "the grown window stands at x=$left, past the screen's edge"
for n in 1 2 3 4; do wait_lamp "$window" "$n" "$green"; done
if [ -n "${STATION_SCREENSHOT:-}" ]; then
    sleep 2
    xwd -silent -id "$window" | xwdtopnm 2>/dev/null | pnmtopng >"$STATION_SCREENSHOT"
fi
echo "PASSED"
