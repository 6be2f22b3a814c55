#!/usr/bin/env python3
"""How kivcomtrade uses two cores: kivcomtrade.scan of 1000 small recordings
with 2 worker processes against 1, and two threads each loading a large
recording against one thread loading it twice (the GIL is released while a
recording is read).

    python3 benchmarks/python_scale.py [LARGE.cfg]   (default: a 100 MB BINARY one written here)
    KIVCOMTRADE_BENCH_REPS=N     runs of each (default 3; the median is printed)
    KIVCOMTRADE_BENCH_TMP=DIR    folder for the small recordings (default /tmp)
    KIVCOMTRADE_SCAN_FILES=N     how many small recordings (default 1000)

The small recordings are the project's two sample recordings (BINARY and
ASCII, 500 records of 6 analog and 2 status channels) copied under 1000 names
in 10 folders; scripts/bench.sh passes its 100 MB BINARY recording as LARGE,
and without one a recording of the same shape (16 analog + 16 status
channels, 2,380,952 records of 42 bytes) is written.
"""

import concurrent.futures
import os
import pathlib
import shutil
import statistics
import sys
import tempfile
import time

import numpy as np

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


def write_large(folder, records=2_380_952):
    """A 100 MB BINARY recording, 16 analog + 16 status channels, 10 kHz."""
    lines = ["BENCH,PY,1999", "32,16A,16D"]
    lines += [f"{c + 1},U{c + 1},,,V,0.01,0,0,-32767,32767,1,1,P" for c in range(16)]
    lines += [f"{c + 1},S{c + 1},,,0" for c in range(16)]
    lines += ["50", "1", f"10000,{records}", "01/01/2024,00:00:00.000000", "01/01/2024,00:00:00.100000",
              "BINARY", "1"]
    (folder / "large.cfg").write_text("\r\n".join(lines) + "\r\n")
    record = np.dtype([("n", "<u4"), ("t", "<u4"), ("a", "<i2", 16), ("d", "<u2")])
    data = np.zeros(records, record)
    data["n"] = np.arange(1, records + 1)
    data["t"] = np.arange(records) * 100
    phase = np.arange(records) * (2 * np.pi * 50 / 10000)
    data["a"] = (np.sin(phase)[:, None] * 3e4).astype(np.int16)
    data["d"] = (np.arange(records) // 5000) & 0xFFFF
    data.tofile(folder / "large.dat")
    return str(folder / "large.cfg")


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

    with tempfile.TemporaryDirectory(dir=os.environ.get("KIVCOMTRADE_BENCH_TMP") or "/tmp") as tmp:
        for large in sys.argv[1:] or [write_large(pathlib.Path(tmp))]:
            kivcomtrade.load(large)  # the file in the page cache for both runs
            one = median_seconds(lambda: [kivcomtrade.load(large) for _ in range(2)], reps)
            with concurrent.futures.ThreadPoolExecutor(2) as pool:
                two = median_seconds(lambda: list(pool.map(kivcomtrade.load, [large, large])), reps)
            size = os.path.getsize(os.path.splitext(large)[0] + ".dat") / 1e6
            row(f"2 loads of {pathlib.Path(large).name} ({size:.0f} MB): threads 1 / 2", one, two)


if __name__ == "__main__":
    main()
