"""Read COMTRADE (IEEE C37.111) disturbance recordings into NumPy arrays.

    >>> import kivcomtrade
    >>> rec = kivcomtrade.load("fault.cfg")          # or the .dat / .cff name
    >>> rec.time.shape, rec.analog.shape, rec.status.shape
    >>> rec.value("IA", 0.1), rec.points("IA", 0.0, -1.0)

The arrays share the loaded buffers with the native reader (no copy) and stay
valid for as long as any of them is referenced. Every field is read from the
native recording; values and point series come from the library's own
channel code, the code of its C++ views.
"""

import collections as _collections
import enum as _enum
import operator as _operator
import datetime as _datetime
import os as _os

from . import _core

__version__ = _core.__version__  # the C++ library's, from the one CMake project version

__all__ = ["load", "iter_chunks", "Chunk", "from_arrays", "LoadResult", "Recording", "AnalogChannel",
           "StatusChannel", "Harmonics", "PhaseGroup", "sequence", "LoadError", "MissingFileError",
           "InvalidRecordingError", "load_bytes", "scan", "scan_channels"]

# The library's result codes, as an IntEnum (so a code also equals its int).
LoadResult = _enum.IntEnum("LoadResult", {name: int(value) for name, value in _core.LoadResult.__members__.items()},
                           module=__name__)
LoadResult.__doc__ = """Result of a load: Success 0, NotARecordingName 1, NoConfigFile 2,
BadConfigFile 3, ConfigRead 4 (never the outcome of a load), NoDataFile 5,
BadDataFile 6. ``code.text()`` is its sentence."""
LoadResult.text = lambda self: _core.load_result_text(int(self))

AnalogChannel = _core.AnalogChannel
StatusChannel = _core.StatusChannel


class LoadError(Exception):
    """A recording could not be loaded.

    ``code`` is the reader's result, a :class:`LoadResult` (equal to its int):
    NotARecordingName (1) the path is not a .cfg/.dat/.cff name, NoConfigFile
    (2) the configuration file does not exist, BadConfigFile (3) it cannot be
    read or is invalid, NoDataFile (5) the data file does not exist,
    BadDataFile (6) the data file cannot be read or does not match the
    configuration, BadSelection (7) the channels or the window asked for are
    not in the recording. ``str(error)`` is the reader's sentence, naming the file
    and, where known, the line. The exception raised is a
    :class:`MissingFileError` (an ``OSError``) for NoConfigFile and
    NoDataFile, an :class:`InvalidRecordingError` (a ``ValueError``)
    otherwise.
    """

    def __init__(self, message, code, file=""):
        super().__init__(message)
        self.code = LoadResult(code)
        self.filename = file or None

    def __str__(self):
        return str(self.args[0]) if self.args else ""


class MissingFileError(LoadError, FileNotFoundError):
    """The configuration file (NoConfigFile) or the data file (NoDataFile) does not exist."""


class InvalidRecordingError(LoadError, ValueError):
    """The path names no recording, or a file is unreadable or invalid."""


_SIDES = ("secondary", "primary", "recorded")


def _selection(channels, start, end):
    names, analogs = [], []
    for ch in channels or ():
        if isinstance(ch, str):
            names.append(ch)
        else:
            analogs.append(_operator.index(ch))
    nan = float("nan")
    return dict(select=channels is not None, names=names, analogs=analogs,
                start=nan if start is None else float(start), end=nan if end is None else float(end))


def _raise(result, message, file, path):
    code = LoadResult(result)
    kind = MissingFileError if code in (LoadResult.NoConfigFile, LoadResult.NoDataFile) else InvalidRecordingError
    raise kind(message or f"{_os.fsdecode(path)}: {code.text()}", code, file)


class Recording(_core.Recording):
    """A loaded recording: ``Recording(path, encoding=None, side="secondary")`` is :func:`load`.

    ``time`` (float64, shape (n,)) holds the seconds of every record from the
    recording's start; ``time_from_trigger`` the same times on the host
    tools' axis, seconds from the trigger (from the first sample when the
    configuration gives no trigger). ``analog`` (float64, shape (analog
    channels, n)) holds the engineering values, NaN where the data file marks
    a value missing; ``status`` (bool, shape (status channels, n)) the
    states. ``start`` and ``trigger`` are ``numpy.datetime64[ns]`` (None when
    the line is not a valid date), ``trigger_offset`` the seconds from the
    first sample to the trigger (None without both). ``value`` and ``points``
    read the arrays with the library's channel views.
    """

    def __init__(self, path, encoding=None, side="secondary", channels=None, start=None, end=None,
                 from_trigger=False, *, _memory=None):
        if side not in _SIDES:
            raise ValueError(f"side must be one of {', '.join(_SIDES)}, not {side!r}")
        if _memory is None:
            super().__init__(_os.fsencode(path), encoding or "", side, from_trigger=bool(from_trigger),
                             **_selection(channels, start, end))
        else:  # (cfg, dat, cff) buffers from load_bytes, named `path`
            super().__init__(*_memory, _os.fsencode(path), encoding or "", side)
        if self._result != LoadResult.Success:
            _raise(self._result, self._message, self._file, path)

    def save(self, path, type="binary", revision=2013, start=None, end=None, channels=None):
        """Write the recording as ``path``: a .cfg or .dat names a .cfg/.dat
        pair, a .cff one combined file (KivComtradeLib::Writer).

        ``type`` is "ascii", "binary", "binary32" or "float32"; ``revision``
        1999 or 2013. ``start``/``end`` keep the records whose ``time`` lies
        between them (seconds, as in ``time``); ``channels`` keeps the
        channels named by identifier, analog index or channel object, in that
        order. From BINARY, BINARY32 or ASCII to the same or a wider type every
        value reads back bit for bit; otherwise within half a step of the
        written type. Returns the paths written; raises ValueError for a bad
        request and OSError when a file cannot be written (leaving none).
        """
        names = []
        for ch in channels or []:
            if isinstance(ch, AnalogChannel):
                names.append(f"A{ch.index + 1}")
            elif isinstance(ch, StatusChannel):
                names.append(f"D{ch.index + 1}")
            elif isinstance(ch, int) and not isinstance(ch, bool):
                names.append(f"A{_operator.index(ch) + 1}")
            else:
                names.append(str(ch))
        return self._save(_os.fsencode(path), type, revision, start, end, names)

    def __repr__(self):
        return (f"<kivcomtrade.Recording {self.station!r}: {self.time.shape[0]} records, "
                f"{len(self.analog_channels)} analog, {len(self.status_channels)} status>")

    def channel(self, channel):
        """The channel object for an analog index, a name (channel identifier,
        analog channels first), or a channel object of this recording (one of
        another recording raises ``ValueError``)."""
        if isinstance(channel, (AnalogChannel, StatusChannel)):
            # Another recording's channel would read this one's row of that index.
            own = self.analog_channels if isinstance(channel, AnalogChannel) else self.status_channels
            if not (channel.index < len(own) and own[channel.index] is channel):
                raise ValueError(f"channel {channel.name!r} belongs to another recording")
            return channel
        if isinstance(channel, str):
            for ch in self.analog_channels:
                if ch.name == channel:
                    return ch
            for ch in self.status_channels:
                if ch.name == channel:
                    return ch
            raise KeyError(f"no channel named {channel!r}")
        index = _operator.index(channel)
        for ch in self.analog_channels:  # a selective load lists only what it read
            if ch.index == index:
                return ch
        raise IndexError(f"no analog channel {index}")

    def value(self, channel, t):
        """Value of an analog channel at time ``t`` (seconds on the ``time``
        axis; a float or an array of them): linear between the two samples
        around ``t - skew``, as AnalogChannel::getValue, but NaN outside the
        recorded range where the C++ view gives 0.0. Each time is looked up
        on its own (no forward-only search position), so times may come in
        any order."""
        ch = self.channel(channel)
        if not isinstance(ch, AnalogChannel):
            raise TypeError(f"{ch.name!r} is a status channel; value() reads analog channels")
        if isinstance(t, (int, float)):
            return self._value(ch.index, float(t))
        return self._values(ch.index, t)

    def points(self, channel, t0=0.0, t1=-1.0, rate=-1.0):
        """Point series for plotting, a float32 array of shape (m, 2) of
        (time, value). Analog: every 1/``rate`` s from ``t0`` while below
        ``t1``, about 1000 points when ``rate`` < 0. Status: a step series,
        one point at ``t0``, one per change of state and one at ``t1``
        (``rate`` unused). ``t1`` < 0 means the last record's time. An analog
        request for 2**26 points or more, or one that is not a number, raises
        ``ValueError`` (the C++ view gives no points)."""
        ch = self.channel(channel)
        if isinstance(ch, AnalogChannel):
            return self._analog_points(ch.index, float(t0), float(t1), float(rate))
        return self._status_points(ch.index, float(t0), float(t1))

    # ---- measures (one cycle of the line frequency; see the README) ----

    def _analog_index(self, channel, what):
        ch = self.channel(channel)
        if not isinstance(ch, AnalogChannel):
            raise TypeError(f"{ch.name!r} is a status channel; {what}() measures analog channels")
        return ch.index

    def rms(self, channel):
        """True RMS (DC and harmonics included) over the cycle of the line
        frequency ending at each record: float64, shape (n,); NaN in the first
        cycle and where a cycle holds a missing value."""
        return self._rms(self._analog_index(channel, "rms"))

    def phasors(self, channel):
        """Phasor of the fundamental (complex RMS, a full-cycle Fourier filter)
        over the cycle ending at each record: complex128, shape (n,), with
        x(t) ~ sqrt(2) Re(X exp(j 2 pi f0 t)), t on the ``time`` axis; NaN as
        for :meth:`rms`."""
        return self._phasors(self._analog_index(channel, "phasors"))

    def phasor(self, channel, t):
        """The phasor of the cycle ending at ``t`` seconds (any time, not only
        a record's); NaN when there is no such cycle."""
        return self._phasor(self._analog_index(channel, "phasor"), float(t))

    def harmonics(self, channel, t, order=13):
        """Harmonics 0 (DC) .. ``order`` of the cycle ending at ``t``:
        ``phasors`` (complex128, RMS), ``magnitudes`` and ``thd``. The order
        is capped below half the samples per cycle; empty and NaN when there
        is no such cycle."""
        phasors, thd = self._harmonics(self._analog_index(channel, "harmonics"), float(t),
                                            _operator.index(order))
        return Harmonics(phasors, abs(phasors), thd)

    def frequencies(self, channel):
        """Measured frequency, one per cycle: (times, Hz), float64 arrays; each
        value is the signal's mean frequency about 1.5 cycles before its
        time. (``frequency`` is the configuration's line frequency.)"""
        return self._frequencies(self._analog_index(channel, "frequencies"))

    def phase_groups(self):
        """Three-phase groups: analog channels of one circuit component and
        unit whose phases are A, B, C (also L1/L2/L3, R/S/T, Cyrillic, or in
        the identifier: IA, Ub)."""
        groups = []
        for channels in self._phase_groups():
            a = self.analog_channels[channels[0]]
            groups.append(PhaseGroup(a.component.strip(), a.unit.strip(), tuple(channels)))
        return groups

    def to_dataframe(self, index="first"):
        """A pandas DataFrame, one column per channel named ``name [unit]``
        (analog, in the unit of the values) or ``name`` (status, bool).
        ``index`` picks the index, named ``time``: "first" the seconds of
        ``time``, "trigger" those of ``time_from_trigger`` (the host tools'
        axis), "absolute" the date and time of every record (``start`` plus
        the seconds since the first record; ValueError without a valid
        ``start``). Needs pandas."""
        import pandas

        if index == "first":
            axis = self.time
        elif index == "trigger":
            axis = self.time_from_trigger
        elif index == "absolute":
            if self.start is None:
                raise ValueError("the recording gives no valid start date/time")
            first = self.time[0] if self.time.size else 0.0
            axis = self.start + ((self.time - first) * 1e9).round().astype("int64").astype("timedelta64[ns]")
        else:
            raise ValueError(f"index must be 'first', 'trigger' or 'absolute', not {index!r}")
        columns = {}
        for ch, row in zip(self.analog_channels, self.analog):
            columns[_unique(columns, f"{ch.name} [{ch.base_unit}]")] = row
        for ch, row in zip(self.status_channels, self.status):
            columns[_unique(columns, ch.name)] = row
        return pandas.DataFrame(columns, index=pandas.Index(axis, name="time"), copy=False)


Harmonics = _collections.namedtuple("Harmonics", "phasors magnitudes thd")
Harmonics.__doc__ = "Harmonics of one cycle: complex RMS phasors and magnitudes of 0 (DC) .. order, and THD."
PhaseGroup = _collections.namedtuple("PhaseGroup", "circuit unit channels")
PhaseGroup.__doc__ = "Three analog channels (indices of phases A, B, C) of one circuit component and unit."


def sequence(a, b, c):
    """Symmetrical components (zero, positive, negative) of the phasors of
    phases A, B, C, with a = exp(j 120 deg): zero = (A + B + C) / 3,
    positive = (A + aB + a^2 C) / 3, negative = (A + a^2 B + aC) / 3. Takes
    complex numbers or complex arrays of one shape."""
    zero, positive, negative = _core.sequence(a, b, c)
    if zero.ndim == 0:
        return complex(zero), complex(positive), complex(negative)
    return zero, positive, negative


def _unique(columns, name):
    # Recorders do repeat channel names; a DataFrame column must not be lost.
    if name not in columns:
        return name
    n = 2
    while f"{name} #{n}" in columns:
        n += 1
    return f"{name} #{n}"


def _date_fields(value):
    """(year, month, day, hour, minute, second, nanosecond) of a
    numpy.datetime64, a datetime (an aware one in UTC) or a pandas Timestamp."""
    if value is None:
        return None
    if hasattr(value, "to_datetime64"):
        value = value.to_datetime64()
    if isinstance(value, _datetime.datetime):
        if value.tzinfo is not None:
            value = value.astimezone(_datetime.timezone.utc).replace(tzinfo=None)
        return (value.year, value.month, value.day, value.hour, value.minute, value.second,
                value.microsecond * 1000)
    import numpy
    ns = int(numpy.datetime64(value, "ns").astype("int64"))
    seconds, nanosecond = divmod(ns, 1_000_000_000)
    day = _datetime.datetime(1970, 1, 1) + _datetime.timedelta(seconds=seconds)
    return (day.year, day.month, day.day, day.hour, day.minute, day.second, nanosecond)


def from_arrays(time, analog, status=None, *, analog_names, analog_units, status_names=None, station="",
                device="", frequency=50.0, start=None, trigger=None, phases=None):
    """A :class:`Recording` made of arrays, for :meth:`Recording.save`.

    ``time``: seconds from the first sample, shape (n,), never decreasing
    (evenly spaced times become a sampling rate, others time stamps);
    ``analog``: values in base units (volts for a kV channel), shape
    (channels, n), NaN where missing; ``status``: 0/1 or bool, shape
    (channels, n). ``start`` and ``trigger`` (numpy.datetime64, datetime)
    are the first sample's and the trigger's date and time (1970-01-01 and
    the start when absent). Raises ValueError when the shapes, names or times
    do not fit.
    """
    import numpy
    time = numpy.ascontiguousarray(time, dtype=numpy.float64).reshape(-1)
    analog = numpy.ascontiguousarray(analog, dtype=numpy.float64)
    if analog.ndim == 1 and len(analog_names) == 1:
        analog = analog[None, :]
    states = None if status is None else numpy.ascontiguousarray(status, dtype=numpy.uint8)
    if states is not None and states.ndim == 1 and len(status_names or []) == 1:
        states = states[None, :]
    if analog.shape != (len(analog_names), time.shape[0]):
        raise ValueError(f"analog has shape {analog.shape}, not (channels, times) = "
                         f"({len(analog_names)}, {time.shape[0]})")
    if states is not None and states.shape != (len(status_names or []), time.shape[0]):
        raise ValueError(f"status has shape {states.shape}, not (channels, times) = "
                         f"({len(status_names or [])}, {time.shape[0]})")
    rec = Recording.__new__(Recording)
    _core.Recording.__init__(rec, time, analog, states, list(analog_names), list(analog_units),
                             list(status_names or []), list(phases or []), station, device, float(frequency),
                             _date_fields(start), _date_fields(trigger))
    return rec


def load(path, encoding=None, side="secondary", channels=None, start=None, end=None, from_trigger=False):
    """Load the recording named by the path of its .cfg, .dat or .cff file,
    or read from a file object (anything with ``read()`` giving bytes) that
    holds a combined .cff recording.

    ``encoding`` names the encoding of the configuration's texts ("UTF-8",
    "CP866", "CP1251", "CP1252", "Latin-1", "GB18030"); None detects it.
    ``side`` is the side of the instrument transformers the analog values are
    on: "secondary" (what the relay saw), "primary" (the power system's
    values: every channel with a ratio scaled to it) or "recorded" (raw * a + b
    as written, no ratio); another raises ValueError.
    ``channels`` (channel names, analog or status, and analog indices),
    ``start`` and ``end`` (seconds from the first sample, or from the trigger
    with ``from_trigger``) read only those channels and records (files only,
    not file objects): the arrays hold the selected channels in .cfg order,
    ``time`` stays on the recording's axis, ``first_record`` is the first
    record's position and ``selection`` says what was read.
    Raises :class:`LoadError` (see there) when the recording cannot be read.
    The GIL is released while the recording is read and converted.
    """
    if hasattr(path, "read"):
        content = path.read()
        if not isinstance(content, (bytes, bytearray, memoryview)):
            raise TypeError(f"load() reads bytes from a file object, not {type(content).__name__} "
                            "(open it in binary mode)")
        name = getattr(path, "name", None)
        return load_bytes(cff=content, name=name if isinstance(name, (str, bytes)) else None,
                          encoding=encoding, side=side)
    return Recording(path, encoding, side, channels, start, end, from_trigger)


def _buffer(value, what):
    try:
        return memoryview(value).cast("B")
    except TypeError:
        raise TypeError(f"{what} must be bytes, bytearray or a contiguous buffer, not {type(value).__name__}") \
            from None


def load_bytes(cfg=None, dat=None, *, cff=None, name=None, encoding=None, side="secondary"):
    """Load a recording from bytes in memory (bytes, bytearray, memoryview or
    another contiguous buffer): ``cfg`` and ``dat``, the .cfg and .dat files'
    bytes (``dat`` None: there is no data file, a :class:`MissingFileError`),
    or ``cff``, a combined file's. Results and errors are those of
    :func:`load` on the same files; ``name`` (default "memory.cfg" or
    "memory.cff") stands for the file in the errors' sentences and in
    ``cfg_file_name``/``dat_file_name``. ``encoding`` and ``side`` as for :func:`load`.
    """
    if (cfg is None) == (cff is None) or (cff is not None and dat is not None):
        raise TypeError("load_bytes() takes cfg= with dat=, or cff=")
    if cff is not None:
        memory = (None, None, _buffer(cff, "cff"))
    else:
        memory = (_buffer(cfg, "cfg"), None if dat is None else _buffer(dat, "dat"), None)
    default = "memory.cff" if cff is not None else "memory.cfg"
    return Recording(name if name is not None else default, encoding, side, _memory=memory)


class Chunk:
    """One block of :func:`iter_chunks`: ``first`` (position of its first
    record in the file), ``time`` (n,), ``analog`` (selected analog channels,
    n), ``status`` (selected status channels, n, bool), and the .cfg indices
    of the rows in ``analog_indices`` and ``status_indices``."""

    __slots__ = ("first", "time", "analog", "status", "analog_indices", "status_indices")

    def __init__(self, first, time, analog, status, analog_indices, status_indices):
        self.first, self.time, self.analog, self.status = first, time, analog, status
        self.analog_indices, self.status_indices = analog_indices, status_indices


def iter_chunks(path, samples=1 << 20, channels=None, start=None, end=None, encoding=None, from_trigger=False):
    """Read a recording larger than memory in blocks of at most ``samples``
    records, yielding :class:`Chunk` objects (arrays handed over without a
    copy); a caller holding the previous block while the next is read holds
    two blocks, no more. ``channels``, ``start``, ``end`` select as in
    :func:`load`. Raises :class:`LoadError` when the recording cannot be
    opened, or when a block cannot be read (after the blocks before it)."""
    reader = _core._Chunks(_os.fsencode(path), max(1, int(samples)), encoding or "",
                           from_trigger=bool(from_trigger), **_selection(channels, start, end))
    if reader.result != 0:
        _raise(reader.result, reader.message, reader.file, path)
    analogs, states = list(reader.analog_indices), list(reader.status_indices)
    while True:
        block = reader.next()
        if block is None:
            break
        yield Chunk(*block, analogs, states)
    if reader.report_result != 0:
        _raise(reader.report_result, reader.message, reader.file, path)

# Tables over many recordings (pandas); kivcomtrade.dask gives them as Dask frames.
from .fleet import scan, scan_channels  # noqa: E402 - they load through load() above
