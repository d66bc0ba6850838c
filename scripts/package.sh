#!/usr/bin/env bash
# Builds the Debian package (Release, stripped, with manual pages) into build/package and checks
# it with lintian, which fails this script on any error. Prints the package's path last.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
ensure_packages "${station_build_packages[@]}" "${station_package_tools[@]}"

# Warnings as errors here too: the release build (-O3) warns where the others do not.
cmake -S . -B build/package -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTATION_TESTS=OFF \
    -DSTATION_BENCH=OFF -DSTATION_MANPAGES=ON -DSTATION_WERROR=ON >/dev/null
cmake --build build/package
rm -f build/package/*.deb
(cd build/package && cpack >/dev/null)
package=$(ls build/package/tarvelio_*.deb)
desktop-file-validate packaging/tarvelio.desktop
echo "lintian $package:"
lintian --fail-on error --display-level '>=warning' "$package"
echo "$package"
