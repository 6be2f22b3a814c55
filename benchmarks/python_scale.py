#!/usr/bin/env python3
"""How kivcomtrade uses two cores: kivcomtrade.scan of 1000 small recordings
with 2 worker processes against 1, and two threads each loading a large
recording against one thread loading it twice (the GIL is released while a
recording is read).

    python3 benchmarks/python_scale.py [LARGE.cfg]
    KIVCOMTRADE_BENCH_REPS=N     runs of each (default 3; the median is printed)
    KIVCOMTRADE_BENCH_TMP=DIR    folder for the small recordings (default /tmp)
    KIVCOMTRADE_SCAN_FILES=N     how many small recordings (default 1000)

The small recordings are the project's two sample recordings (BINARY and
ASCII, 500 records of 6 analog and 2 status channels) copied under 1000 names
in 10 folders; scripts/bench.sh passes its 100 MB BINARY recording as LARGE.
"""

import concurrent.futures
import os
import pathlib
import shutil
import statistics
import sys
import tempfile
import time

import kivcomtrade

SAMPLES = pathlib.Path(__file__).resolve().parents[1] / "samples"


def median_seconds(function, reps):
    times = []
    for _ in range(reps):
        start = time.perf_counter()
        function()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def write_fleet(folder, count):
    sources = [SAMPLES / "fault-slg-binary", SAMPLES / "fault-slg-ascii"]
    for i in range(count):
        source = sources[i % 2]
        target = folder / f"bay{i % 10:02d}" / f"rec{i:05d}"
        target.parent.mkdir(exist_ok=True)
        for ext in (".cfg", ".dat"):
            shutil.copyfile(source.with_suffix(ext), target.with_suffix(ext))


def row(name, one, two):
    print(f"{name:<44} {one:>9.3f} {two:>9.3f} {one / two:>8.2f}x")


def main():
    reps = int(os.environ.get("KIVCOMTRADE_BENCH_REPS") or 3)
    count = int(os.environ.get("KIVCOMTRADE_SCAN_FILES") or 1000)
    print(f"\n== kivcomtrade on {os.cpu_count()} CPUs (median of {reps}; load average {os.getloadavg()[0]:.2f})")
    print(f"{'':<44} {'1 (s)':>9} {'2 (s)':>9} {'speed-up':>9}")
    with tempfile.TemporaryDirectory(dir=os.environ.get("KIVCOMTRADE_BENCH_TMP") or "/tmp") as tmp:
        folder = pathlib.Path(tmp)
        write_fleet(folder, count)
        rows = len(kivcomtrade.scan(folder, workers=1))
        assert rows == count, rows
        one = median_seconds(lambda: kivcomtrade.scan(folder, workers=1), reps)
        two = median_seconds(lambda: kivcomtrade.scan(folder, workers=2), reps)
        row(f"scan, {count} recordings: workers 1 / 2", one, two)

    for large in sys.argv[1:]:
        kivcomtrade.load(large)  # the file in the page cache for both runs
        one = median_seconds(lambda: [kivcomtrade.load(large) for _ in range(2)], reps)
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            two = median_seconds(lambda: list(pool.map(kivcomtrade.load, [large, large])), reps)
        row(f"2 loads of {pathlib.Path(large).name}: threads 1 / 2", one, two)


if __name__ == "__main__":
    main()
