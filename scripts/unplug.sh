#!/usr/bin/env bash
# Pulls the simulated adapter out in the middle of a Download All and of an upload, ROUNDS
# times each (default 20), with the real window under AddressSanitizer and UBSan.
#   scripts/unplug.sh [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-20}
scripts/setup.sh
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQTX_SANITIZE=ON -DQTX_BENCH=OFF
cmake --build build-asan -j "$(nproc)" --target ui_tests
QTX_UNPLUG_ROUNDS=$rounds QT_QPA_PLATFORM=offscreen \
  ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  build-asan/tests/ui_tests --gtest_filter='SimWindowTest.PullingTheAdapterOutMidTransfer'
