#!/usr/bin/env bash
# Builds the Debian package of qtx-console, qtx, qtx-sim and indi_qtx with CPack, in build-package/.
#   scripts/package.sh        then: sudo apt install ./build-package/qtx-console_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
desktop-file-validate packaging/qtx-console.desktop packaging/qtx-console-simulated.desktop

cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DQTX_BENCH=OFF >/dev/null
# Only the programs and their manual pages: the package holds nothing else that is built.
cmake --build build-package -j "$(nproc)" --target qtx-console qtx qtx-sim indi_qtx manuals
rm -f build-package/qtx-console_*.deb
(cd build-package && cpack --config CPackConfig.cmake)

deb=$(ls build-package/qtx-console_*.deb)
dpkg-deb --info "$deb" | sed -n 's/^ \(Package\|Version\|Depends\):/\1:/p'
echo "Built $deb"
