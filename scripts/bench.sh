#!/usr/bin/env bash
# Builds KivComtradeLib in Release (-O2) with the benchmarks into build-bench/
# and runs them. The recordings (about 1.3 GB) are generated into a temporary
# folder that is removed at exit; the summary at the end gives every load as a
# ratio to its flat-array baseline, the time per record from 10 to 400 MB and
# the peak memory of a load against the data model's size.
#   bash scripts/bench.sh [google-benchmark flags, e.g. --benchmark_filter=Load]
#   KIVCOMTRADE_BENCH_REPS=N   repetitions of each load (default 5)
#   KIVCOMTRADE_BENCH_TMP=DIR  folder for the generated recordings (default /tmp)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

build=build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DKIVCOMTRADE_WERROR=ON \
      -DKIVCOMTRADE_BUILD_BENCHMARKS=ON
cmake --build "$build" -j 2 --target kivcomtrade_benchmarks
echo "machine load before the run: $(cat /proc/loadavg)"
"$build/benchmarks/kivcomtrade_benchmarks" "$@"
