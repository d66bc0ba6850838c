#!/usr/bin/env bash
# A serial line cut in the middle of a line, through a real ser2net: ser2net may send what it
# had just read, close the device and never close the TCP connection. The station, with
# "silence=2", still turns every lamp red within 4 s. The cut is repeated until ser2net is seen
# holding a connection; the test is skipped when the installed ser2net never does.
set -euo pipefail
source "$(dirname "$0")/serial_session.sh"
tries=12

# Every scale sends lines for 1 to 1.6 s, then half of one (6 bytes), and its line is cut once
# it could have carried them: at a speed chosen so that try T cuts scale S 5 + 0.2 (4 (T - 1) +
# S - 1) ms after the half line's first byte, which sweeps 5 to 14.4 ms over the tries.
cut_lines_mid_line() {
    local options=() s delay_us
    for s in 1 2 3 4; do
        delay_us=$((5000 + 200 * (4 * ($1 - 1) + s - 1)))
        options+=(--fault "$s:close-mid-line=$((16 + 4 * s))" --baud "$s:$((60000000 / delay_us))")
    done
    serve_serial_scales --rate 20 "${options[@]}"
}
cut_lines_mid_line 1
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
held=0
for try in $(seq "$tries"); do
    [ "$try" = 1 ] || {
        end_process "$emulator_pid"
        cut_lines_mid_line "$try"
        for n in 1 2 3 4; do click "$window" $((lamp_x[n] + 29)) 178; done
    }
    for n in 1 2 3 4; do wait_lamp "$window" "$n" "$green"; done
    sleep 2  # every line has been cut by now; ser2net closes at once what it closes at all
    open=$(ser2net_connections | wc -l)
    for n in 1 2 3 4; do wait_lamp "$window" "$n" "$red" 30; done
    if [ "$open" -gt 0 ]; then
        held=$((held + 1))
        echo "try $try: ser2net held $open connection(s) after the cut; every lamp turned red"
        break
    fi
done
[ "$held" -gt 0 ] || { echo "SKIPPED: ser2net closed every connection in $tries tries"; exit 77; }
echo "PASSED"
