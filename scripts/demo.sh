#!/usr/bin/env bash
# Builds the library and its host tools, then runs them on the bundled
# recording (a phase-A-to-ground fault on a 50 Hz line, samples/):
#   comtrade-info    prints the configuration and a summary of every channel
#   comtrade-plot    draws every channel into build/demo/fault-slg-binary.svg
#   comtrade-export  writes phase A's voltage and current around the trigger as CSV
#   comtrade-info --at  measures every channel and the sequence components 40 ms after the trigger
#   comtrade-view    writes build/demo/fault-slg-binary.html, the interactive page
# Installs missing Debian packages first when run as root.
set -euo pipefail
cd "$(dirname "$0")/.."

build="${KIVCOMTRADE_BUILD_DIR:-build}"
bash scripts/deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIVCOMTRADE_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target comtrade-info comtrade-plot comtrade-export comtrade-view

echo
echo "== $build/tools/comtrade-info   (bundled recording)"
"$build/tools/comtrade-info"

mkdir -p "$build/demo"
echo
echo "== $build/tools/comtrade-plot -o $build/demo/fault-slg-binary.svg"
svg=$("$build/tools/comtrade-plot" -o "$build/demo/fault-slg-binary.svg")
echo "wrote $svg ($(wc -c <"$svg") bytes): open it in a web browser"

echo
echo "== the fault alone: 10 ms before the trigger to 90 ms after, phase A and the two status channels"
"$build/tools/comtrade-plot" --from -0.01 --to 0.09 --channels UA,IA,D1,D2 \
    -o "$build/demo/fault-window.svg"

echo
echo "== $build/tools/comtrade-export --channels UA,IA,Trip --from -0.002 --to 0.003 (CSV)"
"$build/tools/comtrade-export" --channels UA,IA,Trip --from -0.002 --to 0.003

echo
echo "== $build/tools/comtrade-info --at 0.04 (RMS, phasors and sequence components during the fault)"
"$build/tools/comtrade-info" --at 0.04 | sed -n '/^At /,$p'

echo
echo "== $build/tools/comtrade-view -o $build/demo/fault-slg-binary.html"
page=$("$build/tools/comtrade-view" -o "$build/demo/fault-slg-binary.html")
echo "wrote $page ($(wc -c <"$page") bytes): open it in any browser, offline"
