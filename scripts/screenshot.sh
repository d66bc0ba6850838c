#!/usr/bin/env bash
# Starts the station under a virtual X server and saves its main window as a PNG picture
# (default docs/main-window.png), for the README.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-docs/main-window.png}")
source scripts/setup.sh
ensure_packages
source scripts/xvfb.sh

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTATION_TESTS=OFF \
    -DSTATION_BENCH=OFF >/dev/null
cmake --build build/release --target station

work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT
start_xvfb "$work" || { echo "Xvfb did not start" >&2; exit 1; }
mkdir -m 700 "$work/run" && mkdir "$work/dane"
(cd "$work" && XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=xcb exec "$OLDPWD/build/release/app/tarvelio") &
pids+=($!)
window=$(timeout 10 xdotool search --sync --onlyvisible --name '^Program do monitorowania wag$' | head -1)
sleep 1  # let the window paint
mkdir -p "$(dirname "$out")"
xwd -silent -id "$window" | xwdtopnm 2>/dev/null | pnmtopng >"$out"
echo "Saved $out"
