#!/usr/bin/env bash
# comtrade-view on the 100 MB BINARY benchmark recording (16 analog + 16
# status channels, 2.38 M samples): the page's size, the time to write it
# against the columnar load that precedes it (both printed by --timings), and
# the time until the page is interactive in Chromium, through the browser
# test's driver (tests/browser). Not part of CI. Limits: page <= 40 MB,
# writing <= 2x the load, interactive <= 3 s.
#   bash scripts/view-bench.sh
#   KIVCOMTRADE_BENCH_REPS=N   runs of the tool and of the browser (default 3)
#   KIVCOMTRADE_BENCH_TMP=DIR  folder for the recording (default /tmp)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
build=build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DKIVCOMTRADE_WERROR=ON \
      -DKIVCOMTRADE_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build" -j 2 --target kivcomtrade_benchmarks comtrade-view

data=$(mktemp -d "${KIVCOMTRADE_BENCH_TMP:-/tmp}/kivcomtrade-view-bench.XXXXXX")
trap 'rm -rf "$data"' EXIT
cfg=$("$build/benchmarks/kivcomtrade_benchmarks" --kiv-write "$data" BINARY_16A16D_100MB)
reps=${KIVCOMTRADE_BENCH_REPS:-3}
echo "machine load before the run: $(cat /proc/loadavg)"

median() { sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
for _ in $(seq "$reps"); do
  "$build/tools/comtrade-view" "$cfg" -o "$data/page.html" --timings 2>&1 >/dev/null |
    sed -n 's/.*load \([0-9.e-]*\) s, page \([0-9.e-]*\) s.*/\1 \2/p'
done >"$data/tool.txt"
load=$(cut -d' ' -f1 "$data/tool.txt" | median)
page=$(cut -d' ' -f2 "$data/tool.txt" | median)
bytes=$(wc -c <"$data/page.html")
for _ in $(seq "$reps"); do
  node tests/browser/drive_viewer.mjs "$data/page.html" --zoom --cursor 1.5 >"$data/seen.json"
  jq -r '"\(.interactiveMs) \(.zoomMs) \(.consoleErrors | length) \(.refused | length)"' "$data/seen.json"
done >"$data/browser.txt"
interactive=$(cut -d' ' -f1 "$data/browser.txt" | median)
zoom=$(cut -d' ' -f2 "$data/browser.txt" | median)
errors=$(awk '{e += $3 + $4} END {print e}' "$data/browser.txt")

awk -v bytes="$bytes" -v load="$load" -v page="$page" -v inter="$interactive" -v zoom="$zoom" -v errors="$errors" 'BEGIN {
  mb = bytes / 1e6; ratio = page / load
  printf "%-22s %9s %8s %8s %7s %14s %8s %7s\n", "recording", "page MB", "load s", "write s", "x load", "interactive s", "zoom s", "errors"
  printf "%-22s %9.1f %8.2f %8.2f %7.2f %14.2f %8.2f %7d\n", "BINARY_16A16D_100MB", mb, load, page, ratio, inter / 1000, zoom / 1000, errors
  ok = mb <= 40 && ratio <= 2 && inter <= 3000 && errors == 0
  printf "limits (page <= 40 MB, write <= 2x load, interactive <= 3 s, no errors): %s\n", ok ? "met" : "NOT met"
}'
