#!/usr/bin/env bash
# Sets up what is missing, builds, and starts the console.
#   scripts/run.sh                       against the simulated QTX on a pseudo-terminal
#   scripts/run.sh --com1 /dev/ttyUSB0   against a real QTX (any console option passes on)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target qtx-console qtx-sim

for arg in "$@"; do
  case "$arg" in
    --com1|--com1=*|--help|-h) exec build/src/qtx-console "$@" ;;
  esac
done

# The simulator prints its device path on its first line and serves until stopped.
out=$(mktemp)
build/sim/qtx-sim --exit-with-parent >"$out" &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -f "$out"' EXIT
for _ in $(seq 100); do
  device=$(head -n 1 "$out")
  [ -n "$device" ] && break
  sleep 0.1
done
[ -n "$device" ] || { echo "qtx-sim did not start" >&2; exit 1; }
echo "Simulated QTX on $device"
build/src/qtx-console --com1 "$device" "$@"
