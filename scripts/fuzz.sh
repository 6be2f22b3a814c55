#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and fuzzes each one
# for N seconds (default 60), one after the other. Every target first replays
# its committed regression inputs. Fails on any finding; the input that found
# it is left in build-fuzz/artifacts/<target>/.
#   bash scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_recording fuzz_encoding fuzz_lines fuzz_analysis fuzz_writer)

bash scripts/deps.sh clang libclang-rt-14-dev
cxx="$(command -v clang++-14 || command -v clang++)"

build=build-fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER="$cxx" -DKIVCOMTRADE_WERROR=ON \
      -DKIVCOMTRADE_BUILD_FUZZERS=ON -DKIVCOMTRADE_SHARED=OFF \
      -DKIVCOMTRADE_BUILD_TESTS=OFF -DKIVCOMTRADE_BUILD_TOOLS=OFF \
      -DKIVCOMTRADE_BUILD_BENCHMARKS=OFF -DKIVCOMTRADE_INSTALL=OFF
cmake --build "$build" -j 2 --target "${targets[@]}"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
# The recording target writes its input as files for every run: in memory
# (/dev/shm) that costs a seventh of what it does on disk.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  TMPDIR="$(mktemp -d /dev/shm/kivfuzz.XXXXXX)"
  trap 'rm -rf "$TMPDIR"' EXIT
else
  mkdir -p "$build/tmp"
  TMPDIR="$PWD/$build/tmp"
fi
export TMPDIR

status=0
for t in "${targets[@]}"; do
  work="$build/corpus/$t"
  artifacts="$build/artifacts/$t"
  rm -rf "$artifacts"
  mkdir -p "$work" "$artifacts"
  dict=()
  [ -f "fuzz/$t.dict" ] && dict=(-dict="fuzz/$t.dict")

  regressions=(fuzz/regressions/"$t"/*)
  if [ -e "${regressions[0]}" ]; then
    echo "== $t: replaying ${#regressions[@]} regression inputs"
    if ! "$build/fuzz/$t" "${dict[@]}" -runs=1 "${regressions[@]}"; then
      echo "FAIL: $t fails on a committed regression input" >&2
      status=1
      continue
    fi
  fi

  echo "== $t: fuzzing for ${seconds}s"
  # New inputs go to the first folder (build tree); the committed seeds are only read.
  set +e
  "$build/fuzz/$t" "${dict[@]}" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
      -print_final_stats=1 -artifact_prefix="$artifacts/" \
      "$work" "fuzz/corpus/$t" >"$build/$t.log" 2>&1
  rc=$?
  set -e
  if [ $rc -ne 0 ] || ls "$artifacts" | grep -qE '^(crash|leak|timeout|oom)-'; then
    tail -n 80 "$build/$t.log" >&2
    echo "FAIL: $t found a fault (exit $rc); see $build/$t.log and $artifacts/" >&2
    status=1
  else
    grep -E '^#[0-9]+' "$build/$t.log" | tail -n 1
    grep -E '^stat::number_of_executed_units' "$build/$t.log" || true
  fi
done
[ $status -eq 0 ] && echo "fuzzing: 0 findings in ${#targets[@]} targets"
exit $status
