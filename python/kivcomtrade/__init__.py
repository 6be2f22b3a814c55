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

import enum as _enum
import operator as _operator
import os as _os

from . import _core

__all__ = ["load", "iter_chunks", "Chunk", "LoadResult", "Recording", "AnalogChannel", "StatusChannel", "LoadError",
           "MissingFileError", "InvalidRecordingError"]

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
    """A loaded recording: ``Recording(path, encoding=None)`` is :func:`load`.

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

    def __init__(self, path, encoding=None, channels=None, start=None, end=None, from_trigger=False):
        super().__init__(_os.fsencode(path), encoding or "", from_trigger=bool(from_trigger),
                         **_selection(channels, start, end))
        if self._result != LoadResult.Success:
            _raise(self._result, self._message, self._file, path)

    def __repr__(self):
        return (f"<kivcomtrade.Recording {self.station!r}: {self.time.shape[0]} records, "
                f"{len(self.analog_channels)} analog, {len(self.status_channels)} status>")

    def channel(self, channel):
        """The channel object for an analog index, a name (channel identifier,
        analog channels first), or a channel object of this recording."""
        if isinstance(channel, (AnalogChannel, StatusChannel)):
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
        (``rate`` unused). ``t1`` < 0 means the last record's time."""
        ch = self.channel(channel)
        if isinstance(ch, AnalogChannel):
            return self._analog_points(ch.index, float(t0), float(t1), float(rate))
        return self._status_points(ch.index, float(t0), float(t1))

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


def _unique(columns, name):
    # Recorders do repeat channel names; a DataFrame column must not be lost.
    if name not in columns:
        return name
    n = 2
    while f"{name} #{n}" in columns:
        n += 1
    return f"{name} #{n}"


def load(path, encoding=None, channels=None, start=None, end=None, from_trigger=False):
    """Load the recording named by the path of its .cfg, .dat or .cff file.

    ``encoding`` names the encoding of the configuration's texts ("UTF-8",
    "CP866", "CP1251", "CP1252", "Latin-1", "GB18030"); None detects it.
    ``channels`` (channel names, analog or status, and analog indices),
    ``start`` and ``end`` (seconds from the first sample, or from the trigger
    with ``from_trigger``) read only those channels and records: the arrays
    hold the selected channels in .cfg order, ``time`` stays on the
    recording's axis, ``first_record`` is the first record's position and
    ``selection`` says what was read.
    Raises :class:`LoadError` (see there) when the recording cannot be read.
    """
    return Recording(path, encoding, channels, start, end, from_trigger)


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
