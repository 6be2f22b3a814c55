"""Loads from several threads: the GIL is released while a recording is read,
and concurrent loads give what one thread gets."""

import concurrent.futures
import os
import pathlib
import subprocess
import sys

import numpy as np

import kivcomtrade

SOURCE = pathlib.Path(os.environ.get("KIVCOMTRADE_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
SHARED = pathlib.Path(os.environ.get("KIVCOMTRADE_SHARED_SAMPLES_DIR", SOURCE.parent / "shared" / "samples"))

# The data file is a FIFO that the main thread fills while another thread
# loads: a load that kept the GIL while reading would wait forever for a
# writer that cannot run. Hence a child process with a time limit.
FIFO_CHILD = """
import sys, threading, kivcomtrade
cfg, dat, source = sys.argv[1:]
loaded = {}
reader = threading.Thread(target=lambda: loaded.update(rec=kivcomtrade.load(cfg)))
reader.start()
with open(dat, "wb") as fifo:  # returns once the reader has opened its end
    fifo.write(open(source, "rb").read())
reader.join()
print(loaded["rec"].analog.shape[1])
"""


def test_the_gil_is_released_while_a_recording_is_read(tmp_path):
    sample = SOURCE / "samples" / "fault-slg-ascii"
    (tmp_path / "rec.cfg").write_bytes(sample.with_suffix(".cfg").read_bytes())
    os.mkfifo(tmp_path / "rec.dat")
    child = subprocess.run([sys.executable, "-c", FIFO_CHILD, str(tmp_path / "rec.cfg"), str(tmp_path / "rec.dat"),
                            str(sample.with_suffix(".dat"))], capture_output=True, text=True, timeout=120)
    assert (child.returncode, child.stdout.strip()) == (0, "500"), child.stderr


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
