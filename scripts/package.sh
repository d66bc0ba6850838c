#!/usr/bin/env bash
# Builds the Debian packages tarvelio (the station) and tarvelio-ledger (the plant ledger),
# Release, stripped, with manual pages, into build/package (or into the build named, which its
# caller configured so: the test command's own), and checks them with lintian, which fails this
# script on any error; the ledger's must depend on no toolkit. Prints their paths last.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
ensure_packages "${station_build_packages[@]}" "${station_package_tools[@]}"
build=${1:-build/package}

# Warnings as errors here too: the release build (-O3) warns where the others do not.
if [ "$build" = build/package ]; then
    cmake -S . -B build/package -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTATION_TESTS=OFF \
        -DSTATION_BENCH=OFF -DSTATION_MANPAGES=ON -DSTATION_WERROR=ON >/dev/null
fi
cmake --build "$build"
rm -f "$build"/*.deb
(cd "$build" && cpack >/dev/null)
station=$(ls "$build"/tarvelio_*.deb)
ledger=$(ls "$build"/tarvelio-ledger_*.deb)
desktop-file-validate packaging/tarvelio.desktop
for package in "$station" "$ledger"; do
    echo "lintian $package:"
    lintian --fail-on error --display-level '>=warning' "$package"
done
# A plant's server runs the ledger alone: no toolkit, no desktop.
depends=$(dpkg-deb -f "$ledger" Depends)
if grep -Eiq 'qt|libx11|libgl|fonts-' <<<"$depends"; then
    echo "$ledger depends on a desktop: $depends" >&2
    exit 1
fi
echo "$station"
echo "$ledger"
