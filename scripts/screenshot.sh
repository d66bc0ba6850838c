#!/usr/bin/env bash
# Starts the station under a virtual X server and saves its main window as a PNG picture
# (default docs/main-window.png), for the README.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-docs/main-window.png}")
source scripts/setup.sh
ensure_packages "${station_build_packages[@]}" "${station_test_packages[@]}"
source scripts/processes.sh
source scripts/xvfb.sh
source scripts/demo_scales.sh
source scripts/emulator_settings.sh

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTATION_TESTS=OFF \
    -DSTATION_BENCH=OFF >/dev/null
cmake --build build/release --target tarvelio scale-emulator

work=$(mktemp -d)
pids=()
# The station first, the X server last.
trap 'end_processes; rm -rf "$work"' EXIT
start_xvfb "$work" || { echo "Xvfb did not start" >&2; exit 1; }
mkdir -m 700 "$work/run" && mkdir "$work/dane"
# The default ports when free, as the picture shows them; any free ports otherwise.
for port in 2001 0; do
    build/release/tools/scale-emulator "${demo_scale_options[@]}" --port "$port" >"$work/ports" &
    pids+=($!)
    sleep 0.3
    [ -s "$work/ports" ] && break
done
settings_for_emulator "$work/ports" >"$work/dane/konfig.ini"
(cd "$work" && XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=xcb exec "$OLDPWD/build/release/app/tarvelio") &
pids+=($!)
window=$(timeout 10 xdotool search --sync --onlyvisible --name '^Program do monitorowania wag$' | head -1)
sleep 1  # let the window paint
mkdir -p "$(dirname "$out")"
xwd -silent -id "$window" | xwdtopnm 2>/dev/null | pnmtopng >"$out"
echo "Saved $out"
