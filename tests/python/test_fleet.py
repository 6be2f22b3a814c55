"""kivcomtrade.scan / scan_channels over folders with bad input, in processes and on Dask."""

import os
import pathlib
import shutil
import sys

import numpy as np
import pytest

import kivcomtrade
from helpers import BUNDLED, SHARED, SOURCE
from kivcomtrade import fleet

pandas = pytest.importorskip("pandas")


def test_runs_from_the_installed_package():
    venv = os.environ.get("KIVCOMTRADE_PY_INSTALLED")
    if not venv:
        pytest.skip("not run against a pip-installed package")
    package = pathlib.Path(kivcomtrade.__file__).resolve().parent
    assert pathlib.Path(sys.prefix).resolve() == pathlib.Path(venv).resolve()
    assert pathlib.Path(sys.prefix).resolve() in package.parents
    # The extension found the library shipped beside it, through its run path.
    maps = pathlib.Path("/proc/self/maps").read_text()
    libraries = {line.split()[-1] for line in maps.splitlines() if "libKivComtradeLib" in line}
    assert libraries and all(pathlib.Path(lib).resolve().parent == package for lib in libraries)


# name in the folder -> (result, words of the message); None: a good recording.
FLEET = {
    "good.cfg": None,
    "UPPER.CFG": None,
    "alone.cff": None,
    "folder.cfg": (3, "is a folder"),
    "no-dat.cfg": (5, "no-dat"),
    "garbage.cfg": (3, "garbage.cfg"),
    "short.cfg": (6, "short"),
    "pipe.cfg": (3, "not a regular file"),
    "pipe-dat.cfg": (6, "not a regular file"),
}


@pytest.fixture(scope="module")
def fleet_dir(tmp_path_factory):
    root = tmp_path_factory.mktemp("fleet")
    sub = root / "deeper" / "still"
    sub.mkdir(parents=True)
    dat = BUNDLED.with_suffix(".dat").read_bytes()
    for stem, folder in (("good", root), ("UPPER", sub), ("no-dat", root), ("short", sub), ("pipe-dat", root)):
        shutil.copy(BUNDLED, folder / f"{stem}.cfg")
    shutil.move(sub / "UPPER.cfg", sub / "UPPER.CFG")
    (root / "good.dat").write_bytes(dat)
    (sub / "UPPER.DAT").write_bytes(dat)
    (sub / "short.dat").write_bytes(dat[:7])
    (root / "garbage.cfg").write_bytes(bytes(range(256)) * 8)
    (root / "folder.cfg").mkdir()
    os.mkfifo(root / "pipe.cfg")
    os.mkfifo(root / "pipe-dat.dat")
    cfg = BUNDLED.read_bytes()
    (root / "alone.cff").write_bytes(b"--- file type: CFG ---\n" + cfg + b"--- file type: DAT BINARY: %d ---\n" % len(dat)
                                     + dat)
    # A .cff beside the .cfg of the same name is the same recording: one row.
    shutil.copy(root / "alone.cff", root / "good.cff")
    (root / "notes.txt").write_text("not a recording")
    return root


@pytest.mark.parametrize("workers", [1, 2])
def test_scan_gives_a_row_per_recording_and_failure(fleet_dir, workers):
    table = kivcomtrade.scan([fleet_dir, fleet_dir / "absent.cfg", fleet_dir / "notes.txt"], workers=workers)
    names = [pathlib.Path(p).name for p in table.path]
    assert sorted(names) == sorted(list(FLEET) + ["absent.cfg", "notes.txt"])
    expected = dict(FLEET, **{"absent.cfg": (2, "absent.cfg"), "notes.txt": (1, "notes.txt")})
    for name, row in zip(names, table.itertuples()):
        if expected[name] is None:
            assert (row.result, row.message, row.samples, row.analog_channels, row.status_channels) == (0, "", 500, 6, 2)
            assert row.data_type == "BINARY" and row.station == "SEVERNAYA 110kV"
        else:
            assert row.result == expected[name][0] and expected[name][1] in row.message, (name, row.message)
            assert pandas.isna(row.samples)
    assert str(table.start.dtype) == "datetime64[ns]" and str(table.trigger.dtype) == "datetime64[ns]"
    good = table[table.result == 0].iloc[0]
    rec = kivcomtrade.load(BUNDLED)
    assert (good.start, good.trigger) == (pandas.Timestamp(rec.start), pandas.Timestamp(rec.trigger))
    assert good.start.nanosecond == 0 and good.duration == rec.duration and good.rate == 2000


def test_globs_take_recording_names(fleet_dir):
    names = [pathlib.Path(p).name for p in fleet.expand_paths([str(fleet_dir / "*"), str(fleet_dir / "**" / "*.CFG")])]
    assert sorted(names) == sorted(FLEET) and names.count("UPPER.CFG") == 1


def test_processes_and_one_process_agree(fleet_dir):
    pandas.testing.assert_frame_equal(kivcomtrade.scan_channels(fleet_dir, workers=1),
                                      kivcomtrade.scan_channels(fleet_dir, workers=2))


def test_channel_rows(fleet_dir):
    table = kivcomtrade.scan_channels(fleet_dir / "good.cfg")
    rec = kivcomtrade.load(BUNDLED)
    assert list(table.kind) == ["analog"] * 6 + ["status"] * 2
    assert list(table.name) == [c.name for c in rec.analog_channels + rec.status_channels]
    ia = table[table.name == "IA"].iloc[0]
    values = rec.analog[3]
    assert (ia["min"], ia["max"], ia.unit) == (values.min(), values.max(), "A")
    offset = (rec.trigger - rec.start) / np.timedelta64(1, "s")
    assert 0 < offset < rec.time[-1] and offset == rec.time[120]  # the trigger on a sample: it counts after
    before, after = values[rec.time < offset], values[rec.time >= offset]
    assert ia.rms_before == pytest.approx(np.sqrt(np.mean(before ** 2)))
    assert ia.rms_after == pytest.approx(np.sqrt(np.mean(after ** 2)))
    status = table[table.kind == "status"]
    assert list(status.changes) == [int(np.count_nonzero(np.diff(s.astype(int)))) for s in rec.status]
    failed = kivcomtrade.scan_channels(fleet_dir / "no-dat.cfg")
    assert len(failed) == 1 and failed.result[0] == 5 and pandas.isna(failed.name[0])


def _dies_on_garbage(path):
    if path.endswith("garbage.cfg"):
        os._exit(3)  # what a crash in the reader would do to its process
    return fleet.scan_file(path)


def test_a_dying_process_costs_only_its_file(fleet_dir):
    paths = fleet.expand_paths(fleet_dir)
    rows = fleet._run(_dies_on_garbage, paths, workers=2)
    assert [r["path"] for r in rows] == paths
    dead = [r for r in rows if r["result"] == fleet.FAILED]
    assert [pathlib.Path(r["path"]).name for r in dead] == ["garbage.cfg"] and "stopped" in dead[0]["message"]
    assert sum(r["result"] == 0 for r in rows) == 3


def test_dask_scan_on_a_local_cluster():
    distributed = pytest.importorskip("distributed")
    import kivcomtrade.dask

    if not SHARED.is_dir():
        pytest.skip(f"{SHARED} is absent")
    expected = kivcomtrade.scan(SHARED, workers=1)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        table = kivcomtrade.dask.scan(SHARED, client=client, files_per_partition=4)
        assert table.npartitions > 2
        got = table.compute().reset_index(drop=True)
        channels = kivcomtrade.dask.scan_channels(SHARED, client=client).compute()
    pandas.testing.assert_frame_equal(got, expected)
    # A recording that fails to load is one row of channels too.
    assert (got.result == 0).sum() >= 15
    assert len(channels) == expected.analog_channels.sum() + expected.status_channels.sum() + (got.result != 0).sum()


def test_recording_rows_carry_the_phase_groups_peaks():
    # The bundled fault: one voltage and one current group; the faulted phase's
    # current sets the peaks, and a peak RMS lies below the peak value.
    row = fleet.scan_file(BUNDLED)
    rec = kivcomtrade.load(BUNDLED)
    assert row["phase_groups"] == 2 and [g["unit"] for g in row["group_peaks"]] == ["V", "A"]
    assert row["peak_current"] == np.nanmax(np.abs(rec.analog[3:6]))
    assert row["peak_current_rms"] == max(np.nanmax(rec.rms(c)) for c in (3, 4, 5))
    assert 0 < row["peak_current_rms"] < row["peak_current"] and 0 < row["peak_voltage_rms"] < row["peak_voltage"]
    assert np.isnan(fleet.scan_file(SOURCE / "missing.cfg")["peak_current"] or np.nan)
