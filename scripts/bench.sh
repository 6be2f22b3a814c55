#!/usr/bin/env bash
# Builds KivComtradeLib in Release (-O2) with the benchmarks and the Python
# module into build-bench/ and runs them. The recordings (about 1.3 GB) are
# generated into a temporary folder that is removed at exit; the summary
# gives every load (Comtrade and columnar) as a ratio to its flat-array
# baseline, the time per record from 10 to 400 MB and the peak memory of a
# load against the data model's size. Then kivcomtrade.load is timed as a
# whole Python process on the 100 MB BINARY recording and its ASCII twin, and
# its use of two cores (benchmarks/python_scale.py).
#   bash scripts/bench.sh [google-benchmark flags, e.g. --benchmark_filter=Load]
#   bash scripts/bench.sh --selection   big recordings instead: a 4 GB BINARY and a 1 GB ASCII
#                              recording (96 analog + 64 status), generated then removed; a
#                              selective load of 3 channels x 1 s and a block-by-block read
#                              against the full load, with peak memory
#                              (KIVCOMTRADE_SELECTION_BINARY_MB / _ASCII_MB: other sizes)
#   KIVCOMTRADE_BENCH_REPS=N   repetitions of each load (default 5)
#   KIVCOMTRADE_BENCH_TMP=DIR  folder for the generated recordings (default /tmp)
#   KIVCOMTRADE_PEER=SCRIPT    a Python script that loads the recording named by
#                              its argument with another reader: timed on the same
#                              files, printed as a ratio (KIVCOMTRADE_PEER_PYTHON:
#                              its interpreter)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

build=build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DKIVCOMTRADE_WERROR=ON \
      -DKIVCOMTRADE_BUILD_BENCHMARKS=ON
targets=(kivcomtrade_benchmarks)
[ -f "$build/python/kivcomtrade/__init__.py" ] && targets+=(kivcomtrade_python)
cmake --build "$build" -j 2 --target "${targets[@]}"

if [ "${1:-}" = "--selection" ]; then
  echo "machine load before the run: $(cat /proc/loadavg)"
  if [ -f "$build/python/kivcomtrade/__init__.py" ]; then
    export KIVCOMTRADE_SELECTION_PYTHON="$PWD/benchmarks/python_chunks.py"
    export PYTHONPATH="$PWD/$build/python${PYTHONPATH:+:$PYTHONPATH}"
  fi
  exec "$build/benchmarks/kivcomtrade_benchmarks" --kiv-selection
fi

data=$(mktemp -d "${KIVCOMTRADE_BENCH_TMP:-/tmp}/kivcomtrade-bench.XXXXXX")
trap 'rm -rf "$data"' EXIT
echo "machine load before the run: $(cat /proc/loadavg)"
KIVCOMTRADE_BENCH_DATA="$data" "$build/benchmarks/kivcomtrade_benchmarks" "$@" | tee "$data/summary.txt"
# The flat baselines of this run ("base ms" of the Comtrade::load table), so
# that the Python figures can be read against the same machine's state.
baselines=$(awk '/^== Comtrade::load vs/ {t = 1; next} /^== / {t = 0}
                 t && $6 ~ /^[0-9.]+$/ {printf "%s=%s,", $1, $6}' "$data/summary.txt")

if [ -f "$build/python/kivcomtrade/__init__.py" ]; then
  # Written already unless a filter left them out.
  mapfile -t recordings < <(KIVCOMTRADE_BENCH_DATA="$data" "$build/benchmarks/kivcomtrade_benchmarks" \
                              --kiv-write "$data" BINARY_16A16D_100MB ASCII_16A16D)
  KIVCOMTRADE_BASELINES="$baselines" PYTHONPATH="$PWD/$build/python${PYTHONPATH:+:$PYTHONPATH}" \
    python3 benchmarks/python_load.py "${recordings[@]}"
  # Two cores: scan of 1000 small recordings with 2 processes against 1, and
  # two threads loading the 100 MB BINARY recording against one.
  PYTHONPATH="$PWD/$build/python${PYTHONPATH:+:$PYTHONPATH}" KIVCOMTRADE_BENCH_TMP="$data" \
    "$(sed -n 's/^_\?Python3_EXECUTABLE:[A-Z]*=//p' "$build/CMakeCache.txt" | head -1)" benchmarks/python_scale.py "${recordings[0]}"
else
  echo "kivcomtrade (Python) was not built: its load is not timed"
fi
