#!/usr/bin/env bash
# Installs, by Debian package name and only when missing, everything the console, the
# simulator, the tests, the fuzzers and the benchmarks need. Debian 12 or later.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  clang libclang-rt-dev          # libFuzzer and the sanitizers' runtime for clang
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-serialport-dev
  libgl-dev                      # Qt's CMake files look for OpenGL headers
  locales-all                    # a comma-decimal locale for the tests of number texts
  dpkg-dev file desktop-file-utils  # the Debian package: its dependencies, its desktop entry
  help2man                       # the package's manual pages, made from each program's --help
  libcfitsio-dev fitsverify      # the FITS export, and the check of its files in the tests
  libpng-dev                     # the PNG export
  libcli11-dev                   # the options of qtx and qtx-sim
  ser2net                        # network serial ports: the tests and benchmark run a real one
  libindi-dev indi-bin           # the INDI driver; indiserver and its clients for its tests
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
