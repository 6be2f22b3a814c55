#!/usr/bin/env python3
"""Whole-process time of kivcomtrade.load on the benchmark recordings, as a
user runs it (interpreter start, import and load), and of a peer reader when
KIVCOMTRADE_PEER names a Python script that loads the recording given as its
one argument.

    python3 benchmarks/python_load.py RECORDING.cfg...
    KIVCOMTRADE_BENCH_REPS=N    runs of each (default 5; the median is printed)
    KIVCOMTRADE_PYTHON=PATH     interpreter with kivcomtrade (default /usr/bin/python3)
    KIVCOMTRADE_PEER=SCRIPT     the peer reader's script
    KIVCOMTRADE_PEER_PYTHON=PATH  its interpreter (default: KIVCOMTRADE_PYTHON)
    KIVCOMTRADE_BASELINES=NAME=MS,...  the C++ flat baseline of each recording in
                                the same run (scripts/bench.sh passes it): printed
                                as the ratio of the whole process to it
"""

import os
import statistics
import sys
import time

# Load times of the pure-Python reader on these recordings, as reported on a
# typical machine, and the speed-ups kivcomtrade is meant to reach on them.
REFERENCE = {"BINARY": (15.0, 18.0, 30.0), "ASCII": (18.0, 28.0, 15.0)}


def run(argv):
    """Seconds and peak resident MiB of one process."""
    with open(os.devnull, "wb") as null:
        start = time.perf_counter()
        pid = os.posix_spawn(argv[0], argv, os.environ, file_actions=[(os.POSIX_SPAWN_DUP2, null.fileno(), 1)])
        _, status, usage = os.wait4(pid, 0)
        seconds = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit(f"failed ({os.waitstatus_to_exitcode(status)}): {' '.join(argv)}")
    return seconds, usage.ru_maxrss / 1024.0


def median_of(argv, reps):
    runs = [run(argv) for _ in range(reps)]
    return statistics.median(r[0] for r in runs), max(r[1] for r in runs)


def main():
    reps = int(os.environ.get("KIVCOMTRADE_BENCH_REPS") or 5)
    python = os.environ.get("KIVCOMTRADE_PYTHON") or ("/usr/bin/python3" if os.path.exists("/usr/bin/python3")
                                                      else sys.executable)
    peer = os.environ.get("KIVCOMTRADE_PEER")
    peer_python = os.environ.get("KIVCOMTRADE_PEER_PYTHON") or python
    baselines = {}
    for item in filter(None, os.environ.get("KIVCOMTRADE_BASELINES", "").split(",")):
        name, _, ms = item.partition("=")
        baselines[name] = float(ms) / 1e3
    start_up, _ = median_of([python, "-c", "import kivcomtrade, numpy"], reps)
    print(f"\n== kivcomtrade.load, whole process (median of {reps}; {python}; "
          f"load average {os.getloadavg()[0]:.2f})")
    print(f"   fixed cost (interpreter start, import kivcomtrade and numpy): {start_up * 1e3:.0f} ms")
    print(f"{'recording':<22} {'MB':>7} {'seconds':>8} {'peak MiB':>9} {'/base':>6} {'peer s':>7} {'peer/kiv':>8}  "
          f"against the pure-Python reader's time")
    for path in sys.argv[1:]:
        code = f"import kivcomtrade; kivcomtrade.load({path!r})"
        seconds, peak = median_of([python, "-c", code], reps)
        name = os.path.basename(os.path.splitext(path)[0])
        mb = os.path.getsize(os.path.splitext(path)[0] + ".dat") / 1e6
        peer_text = f"{'-':>7} {'-':>8}"
        if peer:
            peer_seconds, _ = median_of([peer_python, peer, path], reps)
            peer_text = f"{peer_seconds:7.2f} {peer_seconds / seconds:7.1f}x"
        kind = "ASCII" if name.startswith("ASCII") else "BINARY"
        low, high, target = REFERENCE.get(kind, (0, 0, 0))
        verdict = ""
        if name.startswith(("BINARY_16A16D_100MB", "ASCII_16A16D")):
            verdict = (f"{low:.0f}-{high:.0f} s: {low / seconds:.1f}x-{high / seconds:.1f}x faster "
                       f"(target {target:.0f}x, <= {low / target:.2f} s: {'ok' if low / seconds >= target else 'MISS'})")
        base = f"{seconds / baselines[name]:6.2f}" if name in baselines else f"{'-':>6}"
        print(f"{name:<22} {mb:7.1f} {seconds:8.3f} {peak:9.1f} {base} {peer_text}  {verdict}")


if __name__ == "__main__":
    main()
