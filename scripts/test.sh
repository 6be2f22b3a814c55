#!/usr/bin/env bash
# Builds KivComtradeLib with its tests and runs them (installs missing Debian
# packages first when run as root). The Python tests run against the package
# as pip installs it into a fresh virtual environment (build/tests/python/venv;
# CMake's files for it stay in build/python-package between runs).
#   bash scripts/test.sh             plain build in build/
#   bash scripts/test.sh --sanitize  AddressSanitizer + UBSan build in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
extra=()
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  extra+=(-DKIVCOMTRADE_SANITIZE=ON)
fi

bash scripts/deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DKIVCOMTRADE_WERROR=ON "${extra[@]}"
cmake --build "$build" -j "$(nproc)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
