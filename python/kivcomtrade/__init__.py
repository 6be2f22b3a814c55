"""Read COMTRADE (IEEE C37.111) disturbance recordings into NumPy arrays.

    >>> import kivcomtrade
    >>> rec = kivcomtrade.load("fault.cfg")          # or the .dat / .cff name
    >>> rec.time.shape, rec.analog.shape, rec.status.shape
    >>> rec.value("IA", 0.1), rec.points("IA", 0.0, -1.0)

The arrays share the loaded buffers with the native reader (no copy) and stay
valid for as long as any of them is referenced.
"""

import datetime as _datetime
import operator as _operator
import os as _os

from . import _core

__all__ = ["load", "iter_chunks", "Chunk", "Recording", "AnalogChannel", "StatusChannel", "Timestamp", "LoadError",
           "MissingFileError", "InvalidRecordingError"]

_FILE_TYPES = {0: "ASCII", 1: "BINARY", 2: "BINARY32", 3: "FLOAT32"}


class LoadError(Exception):
    """A recording could not be loaded.

    ``code`` is the reader's result code: 1 the path is not a .cfg/.dat/.cff
    name, 2 the configuration file does not exist, 3 it cannot be read or is
    invalid, 5 the data file does not exist, 6 the data file cannot be read or
    does not match the configuration, 7 the channels or the window asked for
    are not in the recording. ``str(error)`` is the reader's sentence,
    naming the file and, where known, the line. The exception raised is a
    :class:`MissingFileError` (an ``OSError``) for codes 2 and 5, an
    :class:`InvalidRecordingError` (a ``ValueError``) otherwise.
    """

    def __init__(self, message, code, file=""):
        super().__init__(message)
        self.code = code
        self.filename = file or None

    def __str__(self):
        return str(self.args[0]) if self.args else ""


class MissingFileError(LoadError, FileNotFoundError):
    """The configuration file (code 2) or the data file (code 5) does not exist."""


class InvalidRecordingError(LoadError, ValueError):
    """The path names no recording (1), a file is unreadable or invalid (3, 6),
    or the selection asks for what the recording does not have (7)."""


class Timestamp(_datetime.datetime):
    """A date/time line of the configuration: a ``datetime.datetime`` (to the
    microsecond) whose ``nanosecond`` holds the full fraction of the second,
    0-999999999. A leap second (second 60) reads as the next minute's 0."""

    nanosecond = 0

    @classmethod
    def _from_fields(cls, fields):
        if fields is None:
            return None
        year, month, day, hour, minute, second, ns = fields
        leap = second == 60
        try:
            value = cls(year, month, day, hour, minute, 59 if leap else second, ns // 1000)
            if leap:
                later = value + _datetime.timedelta(seconds=1)
                value = cls(later.year, later.month, later.day, later.hour, later.minute, later.second,
                            later.microsecond)
        except (ValueError, OverflowError):
            return None
        value.nanosecond = ns
        return value


class AnalogChannel:
    """One analog channel line. ``unit`` is as written; the values are in
    ``base_unit`` (a prefix such as k in kV is applied to the values). ``a``
    and ``b`` scale raw values (``a`` already times secondary/primary for
    channels declared on the primary side); ``skew`` is in seconds; ``ps``
    is "P" or "S"."""

    __slots__ = ("index", "name", "phase", "component", "unit", "multiplier", "a", "b", "skew", "min",
                 "max", "primary", "secondary", "ps")

    def __init__(self, index, fields):
        self.index = index
        for key, value in fields.items():
            setattr(self, key, value)

    @property
    def base_unit(self):
        return self.unit[1:] if self.multiplier != 1.0 else self.unit

    def __repr__(self):
        return f"AnalogChannel({self.index}, {self.name!r}, {self.unit!r})"


class StatusChannel:
    """One status (digital) channel line; ``normal_state`` is 0 or 1."""

    __slots__ = ("index", "name", "phase", "component", "normal_state")

    def __init__(self, index, fields):
        self.index = index
        for key, value in fields.items():
            setattr(self, key, value)

    def __repr__(self):
        return f"StatusChannel({self.index}, {self.name!r})"


class Recording:
    """A loaded recording. Build it with :func:`load`.

    ``time`` (float64, shape (n,)) holds the seconds of every record;
    ``analog`` (float64, shape (analog channels, n)) the engineering values,
    NaN where the data file marks a value missing; ``status`` (bool, shape
    (status channels, n)) the states. ``value`` and ``points`` read these
    arrays with the rules of the C++ channel views.
    """

    def __init__(self, data):
        self._data = data
        self.time, self.analog, self.status = data.arrays()
        info = data.info()
        self.station = info["station"]
        self.device = info["device"]
        self.revision = info["revision"]
        self.frequency = info["frequency"]
        self.sampling_rates = info["sampling_rates"]
        self.data_file_type = _FILE_TYPES.get(info["data_file_type"], str(info["data_file_type"]))
        self.time_multiplier = info["time_multiplier"]
        self.start = Timestamp._from_fields(info["start"])
        self.trigger = Timestamp._from_fields(info["trigger"])
        # A selective load lists only the channels it read (index: the .cfg's).
        analogs, states = data.analog_indices, data.status_indices
        self.analog_channels = [AnalogChannel(i, info["analog_channels"][i]) for i in analogs]
        self.status_channels = [StatusChannel(i, info["status_channels"][i]) for i in states]
        self.first_record = data.first_record
        self.selection = data.selection
        self.warnings = list(data.warnings)
        self.encoding = data.encoding
        self.missing_values = data.missing_values
        self.cfg_file_name = data.cfg_file_name
        self.dat_file_name = data.dat_file_name

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
        for ch in self.analog_channels:
            if ch.index == index:
                return ch
        raise IndexError(f"no analog channel {index}")

    def value(self, channel, t):
        """Value of an analog channel at time ``t`` (seconds; a float or an
        array of them): linear between the two samples around ``t - skew``,
        0.0 outside the recorded range (as AnalogChannel::getValue)."""
        ch = self.channel(channel)
        if not isinstance(ch, AnalogChannel):
            raise TypeError(f"{ch.name!r} is a status channel; value() reads analog channels")
        if isinstance(t, (int, float)):
            return self._data.value(ch.index, float(t))
        return self._data.values(ch.index, t)

    def points(self, channel, t0=0.0, t1=-1.0, rate=-1.0):
        """Point series for plotting, a float32 array of shape (m, 2) of
        (time, value). Analog: every 1/``rate`` s from ``t0`` while below
        ``t1``, about 1000 points when ``rate`` < 0. Status: a step series,
        one point at ``t0``, one per change of state and one at ``t1``
        (``rate`` unused). ``t1`` < 0 means the last record's time."""
        ch = self.channel(channel)
        if isinstance(ch, AnalogChannel):
            return self._data.analog_points(ch.index, float(t0), float(t1), float(rate))
        return self._data.status_points(ch.index, float(t0), float(t1))

    def to_dataframe(self):
        """A pandas DataFrame: index ``time`` (seconds), one column per
        channel named ``name [unit]`` (analog, in the unit of the values) or
        ``name`` (status, bool). Needs pandas."""
        import pandas

        columns = {}
        for ch, row in zip(self.analog_channels, self.analog):
            columns[_unique(columns, f"{ch.name} [{ch.base_unit}]")] = row
        for ch, row in zip(self.status_channels, self.status):
            columns[_unique(columns, ch.name)] = row
        return pandas.DataFrame(columns, index=pandas.Index(self.time, name="time"), copy=False)


def _unique(columns, name):
    # Recorders do repeat channel names; a DataFrame column must not be lost.
    if name not in columns:
        return name
    n = 2
    while f"{name} #{n}" in columns:
        n += 1
    return f"{name} #{n}"


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


def _raise(message, code, file, path):
    kind = MissingFileError if code in (2, 5) else InvalidRecordingError
    raise kind(message or f"cannot load {_os.fsdecode(path)} (code {code})", code, file)


def load(path, encoding=None, channels=None, start=None, end=None, from_trigger=False):
    """Load the recording named by the path of its .cfg, .dat or .cff file.

    ``encoding`` names the encoding of the configuration's texts ("UTF-8",
    "CP866", "CP1251", "CP1252", "Latin-1", "GB18030"); None detects it.
    ``channels`` (channel names, analog or status, and analog indices),
    ``start`` and ``end`` (seconds from the first sample, or from the trigger
    with ``from_trigger``) read only those channels and records; the arrays
    then hold the selected channels in .cfg order, ``time`` stays on the
    recording's axis and ``selection`` says what was read.
    Raises :class:`LoadError` (see there) when the recording cannot be read.
    """
    data = _core.load(_os.fsencode(path), encoding or "", from_trigger=bool(from_trigger),
                      **_selection(channels, start, end))
    if data.result != 0:
        _raise(data.message, data.result, data.file, path)
    return Recording(data)


class Chunk:
    """One block of :func:`iter_chunks`: ``first`` (position of its first
    record in the file), ``time`` (n,), ``analog`` (selected analog
    channels, n), ``status`` (selected status channels, n, bool), and the
    .cfg indices of the rows in ``analog_indices`` and ``status_indices``."""

    __slots__ = ("first", "time", "analog", "status", "analog_indices", "status_indices")

    def __init__(self, first, time, analog, status, analog_indices, status_indices):
        self.first, self.time, self.analog, self.status = first, time, analog, status
        self.analog_indices, self.status_indices = analog_indices, status_indices


def iter_chunks(path, samples=1 << 20, channels=None, start=None, end=None, encoding=None, from_trigger=False):
    """Read a recording larger than memory in blocks of at most ``samples``
    records, yielding :class:`Chunk` objects (arrays handed over without a
    copy); a caller holding the previous block while the next is read holds
    two blocks, no more. ``channels``, ``start``, ``end`` select as in :func:`load`.
    Raises :class:`LoadError` when the recording cannot be opened, or when a
    block cannot be read (after the blocks before it)."""
    reader = _core.chunks(_os.fsencode(path), max(1, int(samples)), encoding or "",
                          from_trigger=bool(from_trigger), **_selection(channels, start, end))
    if reader.result != 0:
        _raise(reader.message, reader.result, reader.file, path)
    analogs, states = list(reader.analog_indices), list(reader.status_indices)
    while True:
        block = reader.next()
        if block is None:
            break
        yield Chunk(*block, analogs, states)
    if reader.report_result != 0:
        _raise(reader.message, reader.report_result, reader.file, path)
