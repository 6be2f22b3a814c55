"""Loads from several threads: the GIL is released while a recording is read,
and concurrent loads give what one thread gets."""

import concurrent.futures
import threading
import time

import numpy as np

import kivcomtrade
from helpers import RECORDINGS, SOURCE, outcome


def test_the_gil_is_released_while_a_recording_is_read(tmp_path):
    # 600,000 records of the bundled recording's shape: a load long enough to
    # time. The main thread ticks while another thread loads; a load
    # that kept the GIL would leave it one gap as long as the whole load.
    sample = SOURCE / "samples" / "fault-slg-ascii"
    records = 600_000
    cfg = sample.with_suffix(".cfg").read_bytes().replace(b"2000,500", b"2000,%d" % records)
    (tmp_path / "rec.cfg").write_bytes(cfg)
    row = b",%d,1277,-7623,6345,-195,-491,686,0,1\n"
    (tmp_path / "rec.dat").write_bytes(b"".join(b"%d" % (k + 1) + row % (500 * k) for k in range(records)))
    loaded, ticks = {}, []
    reader = threading.Thread(target=lambda: loaded.update(rec=kivcomtrade.load(tmp_path / "rec.cfg")))
    began = time.perf_counter()
    reader.start()
    while reader.is_alive():
        ticks.append(time.perf_counter())
    reader.join()
    took = time.perf_counter() - began
    assert loaded["rec"].analog.shape[1] == records
    gaps = np.diff([began] + ticks)
    assert gaps.max() < 0.5 * took, (took, gaps.max())


def test_two_threads_read_what_one_reads():
    paths = RECORDINGS * 3
    alone = [outcome(kivcomtrade.load, p) for p in paths]
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        together = list(pool.map(lambda p: outcome(kivcomtrade.load, p), paths))
    assert together == alone and np.frombuffer(alone[0][9]).size == 500  # the bundled ASCII recording's times
