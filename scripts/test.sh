#!/usr/bin/env bash
# Sets up what is missing, builds everything and runs every test.
#   scripts/test.sh              the normal build in build/
#   scripts/test.sh --sanitize   the same suite under AddressSanitizer and UBSan in build-asan/
#   scripts/test.sh --fuzz [s]   builds the libFuzzer targets (clang) and runs each for s seconds
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-normal}
scripts/setup.sh

jobs=$(nproc)
case "$mode" in
  normal)
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build build -j "$jobs"
    ctest --test-dir build --output-on-failure -j "$jobs"
    ;;
  --sanitize)
    cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQTX_SANITIZE=ON -DQTX_BENCH=OFF
    cmake --build build-asan -j "$jobs"
    # Qt's own allocations at exit are not ours to chase.
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      ctest --test-dir build-asan --output-on-failure -j "$jobs"
    ;;
  --fuzz)
    seconds=${2:-30}
    CXX=clang++ CC=clang cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DQTX_FUZZ=ON -DQTX_UI=OFF -DQTX_BENCH=OFF
    cmake --build build-fuzz -j "$jobs"
    for target in build-fuzz/tests/fuzz/*_fuzz; do
      echo "== $(basename "$target") for ${seconds}s"
      corpus="build-fuzz/corpus/$(basename "$target")"
      seeds="tests/fuzz/corpus/$(basename "$target")"
      mkdir -p "$corpus"
      log="build-fuzz/$(basename "$target").log"
      # New inputs go to the first folder; the committed seeds are only read. A finding
      # shows its whole report and leaves its input in build-fuzz/ to be replayed.
      if ! "$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix=build-fuzz/ "$corpus" $([ -d "$seeds" ] && echo "$seeds") >"$log" 2>&1; then
        tail -n 80 "$log"
        exit 1
      fi
      tail -n 3 "$log"
    done
    ;;
  *)
    echo "usage: $0 [--sanitize | --fuzz [seconds]]" >&2
    exit 2
    ;;
esac
