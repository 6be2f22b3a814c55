"""kivcomtrade against the C++ Comtrade (kivcomtrade_py_reference prints what it reads)."""

import datetime
import gc
import pathlib
import re
import shutil

import numpy as np
import pytest

import kivcomtrade
from helpers import BUNDLED, RECORDINGS, SHARED, SOURCE, reference


def check_against_reference(path):
    code, message, rows = reference(path)
    if code != 0:
        with pytest.raises(kivcomtrade.LoadError) as failure:
            kivcomtrade.load(path)
        assert (failure.value.code, str(failure.value)) == (code, message)
        return None
    rec = kivcomtrade.load(path)
    na = rec.analog.shape[0]
    assert rec.analog.dtype == np.float64 and rec.status.dtype == np.bool_
    np.testing.assert_array_equal(rec.time, rows[0])
    # NaN (a missing value) compares equal to NaN here.
    np.testing.assert_array_equal(rec.analog, np.array(rows[1:1 + na]).reshape(na, len(rows[0])))
    np.testing.assert_array_equal(rec.status, np.array(rows[1 + na:]).reshape(rec.status.shape[0], len(rows[0])) != 0)
    assert len(rows) == 1 + na + rec.status.shape[0]
    return rec


@pytest.mark.parametrize("path", RECORDINGS, ids=lambda p: p.name)
def test_reads_what_comtrade_reads(path):
    check_against_reference(path)


def test_missing_values_are_nan(tmp_path):
    shutil.copy(BUNDLED, tmp_path / "x.cfg")
    dat = bytearray(BUNDLED.with_suffix(".dat").read_bytes())
    dat[22 * 3 + 8 + 2:22 * 3 + 8 + 4] = b"\x00\x80"  # record 3, channel UB: 16-bit data's missing marker
    (tmp_path / "x.dat").write_bytes(dat)
    rec = check_against_reference(tmp_path / "x.cfg")
    assert np.isnan(rec.analog[1, 3]) and np.count_nonzero(np.isnan(rec.analog)) == 1
    for name in ("sample_ascii", "sample_bin"):
        if (SHARED / "python-comtrade").is_dir():
            shutil.copy(SHARED / "python-comtrade" / f"{name}.cfg", tmp_path / f"{name}.cfg")
            shutil.copy(SHARED / "python-comtrade" / f"{name}_missing.dat", tmp_path / f"{name}.dat")
            assert np.isnan(check_against_reference(tmp_path / f"{name}.cfg").analog).any()


R = kivcomtrade.LoadResult


@pytest.mark.parametrize("case, code, base", [
    ("absent.cfg", R.NoConfigFile, OSError), ("name.txt", R.NotARecordingName, ValueError),
    ("no-dat", R.NoDataFile, OSError), ("short-dat", R.BadDataFile, ValueError)])
def test_failures_raise_with_the_code(tmp_path, case, code, base):
    path = tmp_path / case
    if case in ("no-dat", "short-dat"):
        path = tmp_path / "rec.cfg"
        shutil.copy(BUNDLED, path)
        if case == "short-dat":
            (tmp_path / "rec.dat").write_bytes(BUNDLED.with_suffix(".dat").read_bytes()[:7])  # no whole record
    with pytest.raises(base) as failure:
        kivcomtrade.load(path)
    assert isinstance(failure.value, kivcomtrade.LoadError) and failure.value.code is code == int(code)
    assert tmp_path.name in str(failure.value)


def test_arrays_outlive_the_recording():
    rec = kivcomtrade.load(BUNDLED)
    time, analog, status = rec.time, rec.analog, rec.status
    first = analog[3, :4].copy()
    del rec
    gc.collect()
    kivcomtrade.load(BUNDLED)  # reuses freed memory if the buffers were gone
    assert time[-1] == 0.2495 and status.shape == (2, 500) and status[1, 0]
    np.testing.assert_array_equal(analog[3, :4], first)


def test_to_dataframe():
    pandas = pytest.importorskip("pandas")
    rec = kivcomtrade.load(BUNDLED)
    frame = rec.to_dataframe()
    assert isinstance(frame, pandas.DataFrame) and frame.index.name == "time" and frame.index[1] == 0.0005
    assert list(frame.columns)[2:4] == ["UC [V]", "IA [A]"] and list(frame.columns)[-1] == "Выключатель Q1"
    assert frame["IA [A]"].iloc[7] == rec.analog[3, 7]


@pytest.mark.parametrize("start, header, start_at, offset, zero, text", [
    # start and trigger 60 ms apart: the trigger falls on record 120 (2000 Hz).
    ("14/03/2026,09:41:07.250000", "line 1\r\nline 2\r\n", "2026-03-14T09:41:07.250", 0.06, 120, "line 1\nline 2\n"),
    # No valid start: no trigger offset, the tools' axis starts at the first record.
    ("44/03/2026,09:41:07.250000", None, None, None, 0, ""),
])
def test_times_and_texts(tmp_path, start, header, start_at, offset, zero, text):
    pandas = pytest.importorskip("pandas")
    (tmp_path / "x.cfg").write_bytes(BUNDLED.read_bytes().replace(b"14/03/2026,09:41:07.250000", start.encode()))
    shutil.copy(BUNDLED.with_suffix(".dat"), tmp_path / "x.dat")
    if header:
        (tmp_path / "x.hdr").write_bytes(header.encode())
    rec = kivcomtrade.load(tmp_path / "x.cfg")
    assert rec.start == (np.datetime64(start_at, "ns") if start_at else None)
    assert rec.trigger == np.datetime64("2026-03-14T09:41:07.310", "ns") and rec.trigger.dtype == "M8[ns]"
    assert rec.trigger_offset == (offset and pytest.approx(offset))
    assert (rec.header_text, rec.information_text) == (text, "")
    assert abs(rec.time_from_trigger[zero]) < 1e-12 and rec.time_from_trigger[zero + 1] == pytest.approx(0.0005)
    assert rec.to_dataframe(index="trigger").index[zero] == rec.time_from_trigger[zero]
    if start_at:
        stamps = rec.to_dataframe(index="absolute").index
        assert stamps[0] == pandas.Timestamp(start_at) and stamps[zero] == pandas.Timestamp(rec.trigger)
    for index in ("last",) if start_at else ("last", "absolute"):
        with pytest.raises(ValueError):
            rec.to_dataframe(index=index)


@pytest.mark.parametrize("path", RECORDINGS, ids=lambda p: p.name)
def test_views_are_the_cpp_views(path):
    code, _, lines = reference(path, "--views")
    if code != 0:
        return
    rec = kivcomtrade.load(path)
    for ch in rec.analog_channels:
        (probes, values), points = lines[2 * ch.index].reshape(-1, 2).T, lines[2 * ch.index + 1]
        got = rec.value(ch, probes)
        # Python gives NaN where the C++ view gives 0.0: outside the recording.
        np.testing.assert_array_equal(np.where(np.isnan(got) & (values == 0.0), 0.0, got), values)
        assert [rec.value(ch, p) for p in probes[:3]] == pytest.approx(list(got[:3]), nan_ok=True)
        np.testing.assert_array_equal(rec.points(ch), points.reshape(-1, 2).astype(np.float32))
        assert np.isnan(rec.value(ch, ch.skew - 1.0)) and np.isnan(rec.value(ch, rec.time[-1] + ch.skew + 1.0))
    for ch, points in zip(rec.status_channels, lines[2 * len(rec.analog_channels):]):
        np.testing.assert_array_equal(rec.points(ch), points.reshape(-1, 2).astype(np.float32))


def test_hostile_requests_raise_value_error():
    rec, other = kivcomtrade.load(BUNDLED), kivcomtrade.load(BUNDLED)
    # A NUL byte would end the name for the C library: /etc/passwd is never opened.
    for call in (lambda: kivcomtrade.load("/etc/passwd\0.cfg"), lambda: kivcomtrade.load(str(BUNDLED) + "\0.cfg"),
                 lambda: rec.points("IA", 0, 1, 1e12), lambda: rec.points("IA", 0, float("nan"), 1000),
                 lambda: rec.value(other.analog_channels[3], 0.1), lambda: rec.points(other.status_channels[0])):
        with pytest.raises(ValueError) as failure:
            call()
        assert "root:" not in str(failure.value)
    assert np.isnan(rec.value("IA", float("nan"))) and np.isnan(rec.value(3, np.array([0.1, np.nan]))).tolist() == [
        False, True]
    assert rec.value(rec.analog_channels[3], 0.1) == other.value(3, 0.1) and len(rec.points("IA", 0, 0.1, 1e3)) == 100
    assert len(rec.points("IA", 10.0, 1e9, 1.0)) == 0  # a window after the last sample: empty, not refused


def test_sides_and_version():
    # The bundled channels are 1100:1 (voltages) and 600:1 (currents), flagged S.
    secondary, primary = kivcomtrade.load(BUNDLED), kivcomtrade.load(BUNDLED, side="primary")
    ratios = np.array([[c.primary / c.secondary] for c in secondary.analog_channels])
    np.testing.assert_allclose(primary.analog, secondary.analog * ratios, rtol=1e-12)
    np.testing.assert_array_equal(kivcomtrade.load(BUNDLED, side="recorded").analog, secondary.analog)
    with pytest.raises(ValueError):
        kivcomtrade.load(BUNDLED, side="tertiary")
    # One version for the whole project: CMake's.
    assert kivcomtrade.__version__ == re.search(r"VERSION (\d+\.\d+\.\d+)", (SOURCE / "CMakeLists.txt").read_text())[1]


@pytest.mark.parametrize("kind", ["ascii", "binary", "binary32", "float32"])
@pytest.mark.parametrize("revision", [1999, 2013])
def test_save_reads_back(tmp_path, kind, revision):
    rec = kivcomtrade.load(BUNDLED)
    out = tmp_path / "copy.cfg"
    assert [pathlib.Path(f).name for f in rec.save(out, type=kind, revision=revision)] == ["copy.dat", "copy.cfg"]
    back = kivcomtrade.load(out)
    assert back.revision == revision and back.station == rec.station
    np.testing.assert_array_equal(back.time, rec.time)
    np.testing.assert_array_equal(back.status, rec.status)
    # BINARY to every integer type keeps the integers; FLOAT32 holds them exactly too.
    np.testing.assert_array_equal(back.analog, rec.analog)


def test_save_window_channels_and_refusals(tmp_path):
    rec = kivcomtrade.load(BUNDLED)
    rec.save(tmp_path / "cut.cff", start=0.1, end=0.2, channels=["IA", rec.status_channels[1], 0])
    back = kivcomtrade.load(tmp_path / "cut.cff")
    kept = (rec.time >= 0.1) & (rec.time <= 0.2)
    assert [c.name for c in back.analog_channels] == ["IA", "UA"] and back.status.shape == (1, kept.sum())
    np.testing.assert_array_equal(back.analog, rec.analog[[3, 0]][:, kept])
    np.testing.assert_array_equal(back.status[0], rec.status[1, kept])
    np.testing.assert_allclose(back.time, rec.time[kept] - rec.time[kept][0], atol=1e-12)
    for kwargs, error in [({"channels": ["nosuch"]}, ValueError), ({"type": "int16"}, ValueError),
                          ({"start": 5.0}, ValueError), ({"revision": 1991}, ValueError)]:
        with pytest.raises(error):
            rec.save(tmp_path / "bad.cfg", **kwargs)
    with pytest.raises(OSError):
        rec.save(tmp_path / "absent" / "x.cfg")
    assert sorted(p.name for p in tmp_path.iterdir()) == ["cut.cff"]


def test_from_arrays_saves_within_half_a_step(tmp_path):
    t = np.arange(2000) / 4000.0
    analog = np.vstack([110e3 * np.sin(2 * np.pi * 50 * t), 600 * np.cos(2 * np.pi * 50 * t)])
    analog[1, 7] = np.nan
    trip = (t > 0.2)[None, :]
    rec = kivcomtrade.from_arrays(t, analog, trip, analog_names=["VA", "IA"], analog_units=["kV", "A"],
                                  status_names=["Trip"], station="Sim", frequency=50.0, phases=["A", "A"],
                                  start=np.datetime64("2026-03-14T09:41:07.250000001"),
                                  trigger=datetime.datetime(2026, 3, 14, 9, 41, 7, 450000))
    np.testing.assert_array_equal(rec.time, t)
    np.testing.assert_array_equal(rec.analog, analog)
    assert rec.start == np.datetime64("2026-03-14T09:41:07.250000001") and rec.trigger_offset == pytest.approx(0.2)
    for kind in ("binary", "ascii", "float32"):
        rec.save(tmp_path / "sim.cfg", type=kind)
        back = kivcomtrade.load(tmp_path / "sim.cfg")
        assert back.station == "Sim" and [c.phase for c in back.analog_channels] == ["A", "A"]
        assert back.start == np.datetime64("2026-03-14T09:41:07.250000")  # microseconds, as written
        np.testing.assert_allclose(back.time, t, atol=1e-9)
        np.testing.assert_array_equal(back.status, trip)
        assert np.isnan(back.analog[1, 7]) and np.count_nonzero(np.isnan(back.analog)) == 1
        for row, channel, source in zip(back.analog, back.analog_channels, analog):
            step = abs(channel.a) * channel.multiplier * (0.5 if kind != "float32" else 0.0) + 1e-6 * np.nanmax(abs(source))
            assert np.nanmax(abs(row - source)) <= step
    with pytest.raises(ValueError):
        kivcomtrade.from_arrays(t, analog[:, :-1], analog_names=["VA", "IA"], analog_units=["kV", "A"])


@pytest.mark.parametrize("path", [BUNDLED, SOURCE / "samples" / "fault-slg-ascii.cfg"], ids=lambda p: p.name)
def test_selective_load_and_chunks_give_the_whole_loads_records(path):
    full = kivcomtrade.load(path)
    t0, t1 = full.time[100], full.time[300]
    part = kivcomtrade.load(path, channels=["IA", 2, full.status_channels[1].name], start=t0, end=t1)
    rows = slice(part.first_record, part.first_record + part.time.shape[0])
    assert part.first_record == 100 and part.time.shape[0] == 201 and part.selection
    assert [ch.index for ch in part.analog_channels] == [2, full.channel("IA").index]
    np.testing.assert_array_equal(part.time, full.time[rows])
    np.testing.assert_array_equal(part.time_from_trigger, full.time_from_trigger[rows])  # the recording's trigger
    np.testing.assert_array_equal(part.analog, full.analog[[ch.index for ch in part.analog_channels], rows])
    np.testing.assert_array_equal(part.status, full.status[[1], rows])
    assert part.value(2, t0 + 1e-4) == full.value(2, t0 + 1e-4)

    blocks = list(kivcomtrade.iter_chunks(path, samples=64, channels=[2], start=t0, end=t1))
    assert [b.first for b in blocks] == [100, 164, 228, 292] and blocks[0].analog_indices == [2]
    np.testing.assert_array_equal(np.concatenate([b.analog for b in blocks], axis=1), full.analog[[2], rows])
    assert sum(b.time.shape[0] for b in blocks) == 201 and blocks[0].status.shape == (0, 64)


@pytest.mark.parametrize("kwargs", [dict(channels=["nosuch"]), dict(channels=[]), dict(start=1e6),
                                    dict(start=0.1, end=0.05)])
def test_selections_the_recording_cannot_satisfy(kwargs):
    with pytest.raises(kivcomtrade.InvalidRecordingError) as failure:
        kivcomtrade.load(BUNDLED, **kwargs)
    assert failure.value.code == kivcomtrade.LoadResult.BadSelection and str(failure.value)
    with pytest.raises(kivcomtrade.InvalidRecordingError):
        list(kivcomtrade.iter_chunks(BUNDLED, **kwargs))
