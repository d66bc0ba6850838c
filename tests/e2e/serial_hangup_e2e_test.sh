#!/usr/bin/env bash
# A serial line that stops in the middle of a line while ser2net keeps the TCP connection open,
# as it does when an adapter is pulled mid-line: the station, with "silence=2", turns every lamp
# red within 4 s. The emulator's stall-mid-line fault stops each line after half a line with
# the device still open, so ser2net holds every connection on every run.
set -euo pipefail
source "$(dirname "$0")/serial_session.sh"

serve_serial_scales --rate 20 --fault 1:stall-mid-line=10 --fault 2:stall-mid-line=14 \
    --fault 3:stall-mid-line=18 --fault 4:stall-mid-line=22
start_ser2net
{
    echo "[Polaczenie]"
    n=1
    for address in $(ser2net_listening); do echo "port$n=${address##*:}"; n=$((n + 1)); done
    printf '[Odczyt]\r\nsilence=2\r\n'
} >dane/konfig.ini

"$station" --technical 2>"$work/station.err" & pids+=($!)
window=$(timeout 10 xdotool search --sync --onlyvisible --name "$caption" | head -1)
[ -n "$window" ] || fail "no main window"
for n in 1 2 3 4; do wait_lamp "$window" "$n" "$green"; done
sleep 1.5  # every line has stopped by now (22 lines at 20 a second)
open=$(ser2net_connections | wc -l)
[ "$open" = 4 ] || fail "ser2net holds $open connections, not 4, after the lines stopped"
for n in 1 2 3 4; do wait_lamp "$window" "$n" "$red" 40; done
echo "PASSED"
