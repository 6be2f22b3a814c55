"""kivcomtrade against the C++ Comtrade: every bundled and shared recording
must read the same, value for value, and the views' rules must hold."""

import datetime
import gc
import os
import pathlib
import shutil
import subprocess

import numpy as np
import pytest

import kivcomtrade

SOURCE = pathlib.Path(os.environ.get("KIVCOMTRADE_SOURCE_DIR", pathlib.Path(__file__).parents[2]))
SHARED = pathlib.Path(os.environ.get("KIVCOMTRADE_SHARED_SAMPLES_DIR", SOURCE.parent / "shared" / "samples"))
REFERENCE = os.environ.get("KIVCOMTRADE_PY_REFERENCE")
BUNDLED = SOURCE / "samples" / "fault-slg-binary.cfg"


def recordings():
    found = sorted((SOURCE / "samples").glob("*.cfg"))
    if SHARED.is_dir():
        for path in sorted(SHARED.rglob("*")):
            ext = path.suffix.lower()
            # A .cff names the .cfg/.dat pair beside it: take it when alone.
            if ext == ".cfg" or (ext == ".cff" and not path.with_suffix(".cfg").exists()):
                found.append(path)
    else:
        print(f"{SHARED} is absent: only the bundled recordings are compared")
    return found


def reference(path):
    """What the C++ Comtrade reads, parsed from kivcomtrade_py_reference."""
    out = subprocess.run([REFERENCE, str(path)], check=True, capture_output=True, text=True,
                         errors="surrogateescape").stdout
    ref = {"V": [], "P": [], "A": [], "S": []}
    for line in out.splitlines():
        tag, _, rest = line.partition(" ")
        if tag == "result":
            ref["result"] = int(rest)
        elif tag == "message":
            ref["message"] = rest
        elif tag == "T":
            ref["T"] = np.array(rest.split(), dtype=float)
        elif tag in ("A", "S"):
            ref[tag].append(np.array(rest.split()[1:], dtype=float))
        elif tag == "V":
            c, t, v = rest.split()
            ref["V"].append((int(c), float(t), float(v)))
        elif tag == "P":
            kind, c, t0, t1, rate, *xy = rest.split()
            ref["P"].append((kind, int(c), float(t0), float(t1), float(rate),
                             np.array(xy, dtype=np.float32).reshape(-1, 2)))
    return ref


needs_reference = pytest.mark.skipif(not REFERENCE, reason="KIVCOMTRADE_PY_REFERENCE (run through CTest) is not set")


@needs_reference
@pytest.mark.parametrize("path", recordings(), ids=lambda p: p.name)
def test_reads_what_comtrade_reads(path):
    check_against_reference(path)


@needs_reference
@pytest.mark.parametrize("name", ["sample_ascii", "sample_bin"])
def test_missing_values_read_as_comtrade_reads_them(tmp_path, name):
    folder = SHARED / "python-comtrade"
    if not folder.is_dir():
        pytest.skip(f"{folder} is absent")
    shutil.copy(folder / f"{name}.cfg", tmp_path / "x.cfg")
    shutil.copy(folder / f"{name}_missing.dat", tmp_path / "x.dat")
    check_against_reference(tmp_path / "x.cfg")


def check_against_reference(path):
    ref = reference(path)
    if ref["result"] != 0:
        with pytest.raises(kivcomtrade.LoadError) as failure:
            kivcomtrade.load(path)
        assert (failure.value.code, str(failure.value)) == (ref["result"], ref["message"])
        return
    rec = kivcomtrade.load(path)
    n = len(ref["T"])
    assert rec.time.shape == (n,)
    assert rec.analog.shape == (len(ref["A"]), n) and rec.analog.dtype == np.float64
    assert rec.status.shape == (len(ref["S"]), n) and rec.status.dtype == np.bool_
    np.testing.assert_array_equal(rec.time, ref["T"])
    # NaN (a missing value) compares equal to NaN here.
    np.testing.assert_array_equal(rec.analog, np.array(ref["A"]).reshape(rec.analog.shape))
    np.testing.assert_array_equal(rec.status, np.array(ref["S"]).reshape(rec.status.shape) != 0)
    for c, t, v in ref["V"]:
        np.testing.assert_equal(rec.value(c, t), v)
        np.testing.assert_equal(rec.value(rec.analog_channels[c].name, np.array([t])), [v])
    for kind, c, t0, t1, rate, xy in ref["P"]:
        channel = rec.analog_channels[c] if kind == "A" else rec.status_channels[c]
        np.testing.assert_array_equal(rec.points(channel, t0, t1, rate), xy)


def test_metadata_of_the_bundled_recording():
    rec = kivcomtrade.load(BUNDLED)
    assert (rec.station, rec.revision, rec.frequency, rec.data_file_type) == ("SEVERNAYA 110kV", 1999, 50.0,
                                                                              "BINARY")
    assert rec.sampling_rates == [(2000.0, 500)]
    assert [(c.name, c.phase, c.unit) for c in rec.analog_channels[2:4]] == [("UC", "C", "V"), ("IA", "A", "A")]
    assert [(c.name, c.normal_state) for c in rec.status_channels] == [("Trip", 0), ("Выключатель Q1", 1)]
    assert rec.channel("Выключатель Q1") is rec.status_channels[1]
    assert rec.time[1] == 0.0005 and rec.analog[1, 0] == pytest.approx(-70.71)
    # None until the reader fills the configuration's date/time lines.
    assert rec.trigger is None or (rec.trigger, rec.trigger.nanosecond) == (
        datetime.datetime(2026, 3, 14, 9, 41, 7, 310000), 310000000)
    with pytest.raises(KeyError):
        rec.value("no such channel", 0.0)
    with pytest.raises(TypeError):
        rec.value("Trip", 0.0)


@pytest.mark.parametrize("fields, expected, ns", [
    ((2020, 1, 5, 1, 2, 3, 999), datetime.datetime(2020, 1, 5, 1, 2, 3, 0), 999),
    # A leap second reads as the next minute's second 0.
    ((2024, 2, 29, 23, 59, 60, 123456789), datetime.datetime(2024, 3, 1, 0, 0, 0, 123456), 123456789),
    ((2021, 2, 30, 0, 0, 0, 0), None, None),
])
def test_timestamps(fields, expected, ns):
    value = kivcomtrade.Timestamp._from_fields(fields)
    assert value == expected and getattr(value, "nanosecond", None) == ns


@pytest.mark.parametrize("case, code, base", [
    ("absent.cfg", 2, OSError),
    ("name.txt", 1, ValueError),
    ("no-dat", 5, OSError),
    ("short-dat", 6, ValueError),
])
def test_failures_raise_with_the_code(tmp_path, case, code, base):
    path = tmp_path / case
    if case in ("no-dat", "short-dat"):
        path = tmp_path / "rec.cfg"
        shutil.copy(BUNDLED, path)
        if case == "short-dat":
            (tmp_path / "rec.dat").write_bytes(BUNDLED.with_suffix(".dat").read_bytes()[:7])  # no whole record
    with pytest.raises(base) as failure:
        kivcomtrade.load(path)
    assert isinstance(failure.value, kivcomtrade.LoadError)
    assert failure.value.code == code
    assert tmp_path.name in str(failure.value)


def test_arrays_outlive_the_recording():
    rec = kivcomtrade.load(BUNDLED)
    time, analog, status = rec.time, rec.analog, rec.status
    first = analog[3, :4].copy()
    del rec
    gc.collect()
    kivcomtrade.load(BUNDLED)  # reuses freed memory if the buffers were gone
    assert time[-1] == pytest.approx(0.2495)
    np.testing.assert_array_equal(analog[3, :4], first)
    assert status.shape == (2, 500) and status[1, 0]


def test_to_dataframe():
    pandas = pytest.importorskip("pandas")
    rec = kivcomtrade.load(BUNDLED)
    frame = rec.to_dataframe()
    assert isinstance(frame, pandas.DataFrame)
    assert list(frame.columns)[:4] == ["UA [V]", "UB [V]", "UC [V]", "IA [A]"]
    assert list(frame.columns)[-1] == "Выключатель Q1"
    assert frame.index.name == "time" and frame.index[1] == 0.0005
    assert frame["IA [A]"].iloc[7] == rec.analog[3, 7]
