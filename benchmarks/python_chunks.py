"""kivcomtrade.iter_chunks over a big recording in blocks of 1 M samples:
prints seconds, peak resident MB above the state after the imports, and the
MB of one block's arrays (run by kivcomtrade_benchmarks --kiv-selection)."""

import resource
import sys
import time

import kivcomtrade


def rss_mb():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024.0
    return 0.0


before = rss_mb()
start = time.perf_counter()
block = 0.0
for chunk in kivcomtrade.iter_chunks(sys.argv[1], samples=1 << 20):
    block = max(block, (chunk.time.nbytes + chunk.analog.nbytes + chunk.status.nbytes) / 1048576.0)
seconds = time.perf_counter() - start
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0
print(f"{seconds:.6f} {peak - before:.3f} {block:.3f}")
