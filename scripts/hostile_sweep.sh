#!/usr/bin/env bash
# Hostile-input sweep (not run by CI): mutated copies of every real recording
# of ../shared/samples (scripts/hostile_mutants.py) loaded under AddressSanitizer
# and UndefinedBehaviorSanitizer by the recording fuzz target's checks (replayed
# without libFuzzer): any crash, sanitizer report, hang (more than 20 s for a
# batch of 25 inputs) or success with a non-finite or impossible figure fails.
#   bash scripts/hostile_sweep.sh [ROUNDS] [MUTANTS_PER_RECORDING_PER_ROUND] [SAMPLES]
# Failing inputs are kept in build-asan/sweep/failed/.
set -euo pipefail
cd "$(dirname "$0")/.."

rounds="${1:-3}"
count="${2:-20}"
samples="${3:-../shared/samples}"
[ -d "$samples" ] || { echo "no folder of real recordings at $samples" >&2; exit 2; }

build=build-asan
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIVCOMTRADE_SANITIZE=ON >/dev/null
cmake --build "$build" -j 2 --target replay_recording
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
replay="$build/fuzz/replay_recording"

work="$build/sweep"
rm -rf "$work"
mkdir -p "$work/failed"
# Every load writes its input as files: in memory when possible.
TMPDIR="$(mktemp -d "$( [ -w /dev/shm ] && echo /dev/shm || echo "$PWD/$work")/kivsweep.XXXXXX")"
trap 'rm -rf "$TMPDIR"' EXIT
export TMPDIR
total=0 failed=0 start=$SECONDS
for round in $(seq 1 "$rounds"); do
  inputs="$work/round"
  rm -rf "$inputs"
  n=$(python3 scripts/hostile_mutants.py "$samples" "$inputs" "$count" "$round")
  total=$((total + n))
  mapfile -d '' files < <(find "$inputs" -type f -print0 | sort -z)
  for ((i = 0; i < ${#files[@]}; i += 25)); do
    batch=("${files[@]:i:25}")
    if timeout 20 "$replay" "${batch[@]}" >/dev/null 2>&1; then continue; fi
    # Which ones: each input of the batch alone.
    for f in "${batch[@]}"; do
      if ! timeout 20 "$replay" "$f" >"$work/failed/$(basename "$f").log" 2>&1; then
        cp "$f" "$work/failed/"
        failed=$((failed + 1))
        echo "FAIL: $(basename "$f") (see $work/failed/$(basename "$f").log)" >&2
      else
        rm -f "$work/failed/$(basename "$f").log"
      fi
    done
  done
  echo "round $round: $n mutants"
done
rm -rf "$work/round"
echo "sweep: $total mutated recordings in $((SECONDS - start)) s, $failed failed"
[ "$failed" -eq 0 ]
