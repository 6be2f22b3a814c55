"""Loads from bytes and file objects read what loads from the files read."""

import io

import pytest

import kivcomtrade
from helpers import BUNDLED, REAL, SAMPLES, outcome


def beside(path, suffix):
    found = [p for p in path.parent.iterdir() if p.name.lower() == path.with_suffix(suffix).name.lower()]
    return found[0].read_bytes() if found else None


@pytest.mark.parametrize("kind", [bytes, bytearray, memoryview])
def test_recordings_from_bytes(kind):
    for path in SAMPLES + REAL:
        expected = outcome(kivcomtrade.load, path)
        if path.suffix.lower() == ".cff" and beside(path, ".cfg") is None:
            got = outcome(kivcomtrade.load_bytes, cff=kind(path.read_bytes()), name=str(path))
            with open(path, "rb") as stream:  # named after the file object's name
                assert outcome(kivcomtrade.load, stream) == expected
        elif path.suffix.lower() == ".cfg":
            dat = beside(path, ".dat")
            got = outcome(kivcomtrade.load_bytes, cfg=kind(path.read_bytes()), dat=dat and kind(dat), name=str(path))
        else:
            continue
        assert got == expected, path


@pytest.mark.parametrize("cfg, dat, code, said", [
    (BUNDLED.read_bytes(), None, 5, "memory.dat: no such data file"),
    (BUNDLED.read_bytes(), BUNDLED.with_suffix(".dat").read_bytes()[:7], 6, "memory.dat: its 7 bytes hold no whole"),
    (bytes(range(256)), b"", 3, "memory.cfg: line 2 (channel counts line)"),
], ids=["no-dat", "short-dat", "garbage-cfg"])
def test_failures_from_bytes(tmp_path, cfg, dat, code, said):
    with pytest.raises(kivcomtrade.LoadError) as failure:
        kivcomtrade.load_bytes(cfg=cfg, dat=dat)
    assert failure.value.code == code and str(failure.value).startswith(said)
    (tmp_path / "rec.cfg").write_bytes(cfg)
    if dat is not None:
        (tmp_path / "rec.dat").write_bytes(dat)
    expected = outcome(kivcomtrade.load, tmp_path / "rec.cfg")
    assert outcome(kivcomtrade.load_bytes, cfg=cfg, dat=dat, name=str(tmp_path / "rec.cfg")) == expected


def test_file_objects_hold_combined_recordings():
    cfg, dat = BUNDLED.read_bytes(), BUNDLED.with_suffix(".dat").read_bytes()
    cff = b"--- file type: CFG ---\n" + cfg + b"--- file type: DAT BINARY: %d ---\n" % len(dat) + dat
    assert outcome(kivcomtrade.load, io.BytesIO(cff))[-3:] == outcome(kivcomtrade.load, BUNDLED)[-3:]
    with pytest.raises(kivcomtrade.InvalidRecordingError, match="^memory.cff: no CFG section"):
        kivcomtrade.load(io.BytesIO(b"garbage"))
    with pytest.raises(TypeError):
        kivcomtrade.load(io.StringIO("text mode"))
    for args in ({}, {"cfg": cfg, "cff": cff}, {"dat": dat}, {"cfg": "text"}, {"cff": 5}):
        with pytest.raises(TypeError):
            kivcomtrade.load_bytes(**args)
