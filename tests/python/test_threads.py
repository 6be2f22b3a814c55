"""Loads from several threads: the GIL is released while a recording is read,
and concurrent loads give what one thread gets."""

import concurrent.futures
import os
import pathlib
import threading
import time

import numpy as np

import kivcomtrade

SOURCE = pathlib.Path(os.environ.get("KIVCOMTRADE_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
SHARED = pathlib.Path(os.environ.get("KIVCOMTRADE_SHARED_SAMPLES_DIR", SOURCE.parent / "shared" / "samples"))

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
    paths = sorted((SOURCE / "samples").glob("*.cfg"))
    if SHARED.is_dir():
        paths += sorted(p for p in SHARED.rglob("*") if p.suffix.lower() == ".cfg")
    paths *= 3

    def image(path):
        try:
            rec = kivcomtrade.load(path)
        except kivcomtrade.LoadError as error:
            return error.code, str(error)
        return rec.station, rec.time.tobytes(), rec.analog.tobytes(), rec.status.tobytes(), rec.warnings

    alone = [image(p) for p in paths]
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        together = list(pool.map(image, paths))
    assert together == alone and any(isinstance(a[1], bytes) and len(a[1]) for a in alone)
    assert np.frombuffer(alone[0][1]).size == 500
