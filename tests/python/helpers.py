"""What the test modules share: where the recordings are, and a load's outcome in comparable form."""

import os
import pathlib
import subprocess

import numpy as np
import pytest

import kivcomtrade

SOURCE = pathlib.Path(os.environ.get("KIVCOMTRADE_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
SHARED = pathlib.Path(os.environ.get("KIVCOMTRADE_SHARED_SAMPLES_DIR", SOURCE.parent / "shared" / "samples"))
BUNDLED = SOURCE / "samples" / "fault-slg-binary.cfg"
SAMPLES = sorted((SOURCE / "samples").glob("*.cfg"))
# Every real .cfg and .cff; RECORDINGS names each recording once (a .cff beside its .cfg is the same one).
REAL = sorted(p for p in SHARED.rglob("*") if p.suffix.lower() in (".cfg", ".cff")) if SHARED.is_dir() else []
RECORDINGS = SAMPLES + [p for p in REAL if p.suffix.lower() == ".cfg" or not p.with_suffix(".cfg").exists()]


def outcome(load, *args, **kwargs):
    """What a load gives, comparable: the error's class, code and sentence, or the recording's contents."""
    try:
        rec = load(*args, **kwargs)
    except kivcomtrade.LoadError as error:
        return type(error), error.code, str(error)
    return (rec.station, rec.revision, rec.data_file_type, rec.start, rec.trigger, rec.encoding, rec.warnings,
            rec.missing_values, [c.name for c in rec.analog_channels + rec.status_channels], rec.time.tobytes(),
            rec.analog.tobytes(), rec.status.tobytes())


def reference(path, *flags):
    """What the C++ Comtrade reads (kivcomtrade_py_reference): result, message, then one array per line."""
    if "KIVCOMTRADE_PY_REFERENCE" not in os.environ:
        pytest.skip("KIVCOMTRADE_PY_REFERENCE is not set: run through CTest")
    out = subprocess.run([os.environ["KIVCOMTRADE_PY_REFERENCE"], *flags, str(path)], check=True, capture_output=True,
                         text=True, errors="surrogateescape").stdout.split("\n")
    return int(out[0]), out[1], [np.array(line.split(), dtype=float) for line in out[2:-1]]
