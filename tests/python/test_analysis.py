"""The measures of kivcomtrade against NumPy's FFT on the same windows."""

import numpy as np
import pytest

import kivcomtrade
from helpers import BUNDLED

N = 32  # samples per 50 Hz cycle at 1600 Hz


def write_recording(folder, columns, rate=1600.0, frequency=50.0):
    """An ASCII recording of three phase voltages holding `columns` (3, n)."""
    n = columns.shape[1]
    lines = ["PY TEST,GEN,1999", "3,3A,0D"]
    lines += [f"{i + 1},U{p},{p},BUS,V,1,0,0,-1e9,1e9,1,1,S" for i, p in enumerate("ABC")]
    lines += [f"{frequency:g}", "1", f"{rate:g},{n}", "01/01/2026,00:00:00.000000", "01/01/2026,00:00:00.000000",
              "ASCII", "1"]
    (folder / "r.cfg").write_text("\n".join(lines) + "\n")
    rows = (f"{k + 1},{round(k * 1e6 / rate)}," + ",".join(f"{v:.17g}" for v in columns[:, k]) for k in range(n))
    (folder / "r.dat").write_text("\n".join(rows) + "\n")
    return kivcomtrade.load(folder / "r.cfg")


@pytest.fixture(scope="module")
def distorted(tmp_path_factory):
    # A positive-sequence set with DC, and 3rd (zero-sequence) and 5th
    # (negative-sequence) harmonics: periodic, so every window is exact.
    t = np.arange(20 * N) / 1600.0
    w = 2 * np.pi * 50
    shift = np.array([[0.0], [-2 * np.pi / 3], [2 * np.pi / 3]])
    x = (5 + 100 * np.cos(w * t + 0.3 + shift) + 20 * np.cos(3 * (w * t + shift) - 0.7)
         + 10 * np.cos(5 * (w * t + shift) + 1.1))
    return write_recording(tmp_path_factory.mktemp("distorted"), x), x


def fft_windows(x):
    """sqrt(2)/N times the FFT of the N samples ending at each n >= N, referred
    to t = 0 (the first sample), and the RMS of the same samples."""
    windows = np.lib.stride_tricks.sliding_window_view(x, N)[1:]  # ending at n = N .. len-1
    starts = np.arange(1, len(x) - N + 1)
    k = np.arange(N)
    spectra = np.sqrt(2) / N * np.fft.fft(windows, axis=1) * np.exp(-2j * np.pi * np.outer(starts, k) / N)
    spectra[:, 0] /= np.sqrt(2)  # the DC mean
    return spectra, np.sqrt(np.mean(windows ** 2, axis=1))


def test_series_and_single_times_match_numpy_fft(distorted):
    rec, x = distorted
    for ch in range(3):
        spectra, rms = fft_windows(x[ch])
        phasors = rec.phasors(ch)
        assert phasors.dtype == np.complex128 and phasors.shape == rec.time.shape
        assert np.isnan(phasors[:N]).all() and np.isnan(rec.rms(ch)[:N]).all()
        np.testing.assert_allclose(phasors[N:], spectra[:, 1], rtol=0, atol=1e-9)
        np.testing.assert_allclose(rec.rms(ch)[N:], rms, rtol=1e-12)
        for n in (N, 5 * N + 7, len(rec.time) - 1):
            assert abs(rec.phasor(ch, rec.time[n]) - spectra[n - N, 1]) < 1e-9
            h = rec.harmonics(ch, rec.time[n])
            np.testing.assert_allclose(h.phasors, spectra[n - N, :14], rtol=0, atol=1e-9)
            np.testing.assert_allclose(h.magnitudes, np.abs(spectra[n - N, :14]), rtol=0, atol=1e-9)
            assert h.thd == pytest.approx(np.hypot(20, 10) / 100, rel=1e-9)
        assert len(rec.harmonics(ch, rec.time[-1], order=5).magnitudes) == 6


def test_sequence_components(distorted):
    rec, _ = distorted
    a, b, c = (rec.phasors(ch) for ch in range(3))
    zero, positive, negative = kivcomtrade.sequence(a, b, c)
    # A balanced positive-sequence set: its positive sequence is phase A, nothing else is left.
    np.testing.assert_allclose(positive[N:], a[N:], atol=1e-9)
    np.testing.assert_allclose(np.stack([zero[N:], negative[N:]]), 0, atol=1e-9)
    s = kivcomtrade.sequence(1 + 0j, 0j, 0j)  # phase A alone: a third in each
    assert all(isinstance(v, complex) and v == pytest.approx(1 / 3) for v in s)


def test_phase_groups_frequency_and_bad_requests(tmp_path):
    rec = kivcomtrade.load(BUNDLED)
    groups = rec.phase_groups()
    assert [g.channels for g in groups] == [(0, 1, 2), (3, 4, 5)]
    assert (groups[1].circuit, groups[1].unit) == ("W1 110kV", "A")

    t = np.arange(40 * N) / 1600.0
    x = np.vstack([100 * np.cos(2 * np.pi * 50.5 * t - k * 2 * np.pi / 3) for k in range(3)])
    off = write_recording(tmp_path, x)
    times, hz = off.frequencies("UA")
    assert len(times) == len(hz) > 30
    np.testing.assert_allclose(hz, 50.5, atol=1e-3)

    assert np.isnan(rec.phasor("UA", 0.005)) and np.isnan(rec.phasor("UA", 10.0))
    assert np.isnan(rec.harmonics("UA", -1.0).thd)
    with pytest.raises(IndexError):
        rec.rms(17)
    with pytest.raises(KeyError):
        rec.phasors("nope")
    with pytest.raises(TypeError):
        rec.rms("Trip")

