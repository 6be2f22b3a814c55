"""Tables over many recordings: one row per recording (scan) or per channel
(scan_channels), read in worker processes. A recording that cannot be read
is a row with its result code and the reader's sentence, never an exception.

The per-file functions (scan_file, scan_file_channels) return plain dicts, so
the same rows come from a process pool here and from Dask (kivcomtrade.dask).
"""

import concurrent.futures
import glob
import math
import os
import stat

import numpy as np

__all__ = ["scan", "scan_channels", "expand_paths", "scan_file", "scan_file_channels", "RECORDING_COLUMNS",
           "CHANNEL_COLUMNS"]

# Column name -> dtype of the tables (the datetime columns are filled in as
# nanoseconds since 1970 or None; the frame converts them to datetime64[ns]).
RECORDING_COLUMNS = {
    "path": object, "result": "int64", "message": object, "station": object, "device": object,
    "revision": "Int64", "data_type": object, "start": "datetime64[ns]", "trigger": "datetime64[ns]",
    "duration": "float64", "frequency": "float64", "rate": "float64", "rates": object, "samples": "Int64",
    "analog_channels": "Int64", "status_channels": "Int64", "missing_values": "Int64", "encoding": object,
    "warnings": "Int64", "phase_groups": "Int64", "peak_current": "float64", "peak_current_rms": "float64",
    "peak_voltage": "float64", "peak_voltage_rms": "float64", "group_peaks": object,
}
CHANNEL_COLUMNS = {
    "path": object, "result": "int64", "message": object, "index": "Int64", "kind": object, "name": object,
    "unit": object, "phase": object, "min": "float64", "max": "float64", "rms_before": "float64",
    "rms_after": "float64", "changes": "Int64",
}
# A row for what the reader never returned: the worker process reading it
# stopped (or an error outside the reader's own).
FAILED = -1
_EXTENSIONS = (".cfg", ".cff")


def expand_paths(paths):
    """The recordings named by ``paths`` (a path or a list of them): files as
    given, folders searched recursively for .cfg and .cff names in any letter
    case, glob patterns expanded to the .cfg and .cff names they match (and
    the folders searched); a .cff beside a .cfg of the same name is the same
    recording and is left out. Sorted within each folder or pattern;
    duplicates dropped."""
    if isinstance(paths, (str, bytes, os.PathLike)):
        paths = [paths]
    found = []
    for path in paths:
        path = os.fsdecode(path)
        if os.path.isdir(path):
            found += _walk(path)
        elif glob.has_magic(path):
            matches = sorted(glob.glob(path, recursive=True))
            found += _recordings(matches)
            for match in matches:
                if os.path.isdir(match) and not _is_recording_name(match):
                    found += _walk(match)
        else:
            found.append(path)  # absent or not a recording name: its row says so
    return list(dict.fromkeys(found))


def _is_recording_name(path):
    return os.path.splitext(path)[1].lower() in _EXTENSIONS


def _recordings(paths):
    # A folder named like a recording is kept too: its row tells it is no recording.
    paths = [p for p in paths if _is_recording_name(p)]
    configs = {os.path.splitext(p)[0].lower() for p in paths if p.lower().endswith(".cfg")}
    return [p for p in paths if p.lower().endswith(".cfg") or os.path.splitext(p)[0].lower() not in configs]


def _walk(folder):
    found = []
    for root, dirs, files in os.walk(folder):
        dirs.sort()
        found += _recordings([os.path.join(root, n) for n in sorted(files + dirs)])
    return found


def _not_a_file(path):
    """(result, sentence) when ``path`` or a file of its recording beside it
    is no regular file, else None."""
    # Opening a FIFO or a device would block the reader or read forever, and a
    # folder named like a recording would read as a missing file: such a name
    # gets a row without a load (3: the configuration, 6: the data file).
    stem, ext = os.path.splitext(path)
    if ext.lower() not in _EXTENSIONS + (".dat",):
        return None  # no recording name: the reader says so (1)
    beside = [stem + e for base in (".cfg", ".dat") for e in (base, base.upper(), base.capitalize())]
    for name in [path] + [n for n in beside if n != path]:
        try:
            mode = os.stat(name).st_mode
        except OSError:
            continue
        code = 6 if os.path.splitext(name)[1].lower() == ".dat" else 3
        if stat.S_ISDIR(mode):
            return code, f"{name} is a folder, not a recording file"
        if not stat.S_ISREG(mode):
            return code, f"{name} is not a regular file"
    return None


def _load(path):
    """(recording, None) or (None, (result, message))."""
    from . import LoadError, load

    failure = _not_a_file(path)
    if failure:
        return None, failure
    try:
        return load(path), None
    except LoadError as error:
        return None, (error.code, str(error))
    except Exception as error:  # noqa: BLE001 - a fleet goes on; the row keeps what happened
        return None, (FAILED, f"{path}: {type(error).__name__}: {error}")


def _nanoseconds(value):
    """Nanoseconds since 1970 of a numpy.datetime64, None when missing: plain
    integers cross process boundaries cheaply and become datetime64[ns] in
    :func:`frame`."""
    if value is None or np.isnat(value):
        return None
    return int(value.astype("datetime64[ns]").astype(np.int64))


def scan_file(path):
    """The row of :func:`scan` for one recording, a dict."""
    path = os.fsdecode(path)
    row = dict.fromkeys(RECORDING_COLUMNS)
    row.update(path=path, result=0, message="")
    rec, failure = _load(path)
    if failure:
        row["result"], row["message"] = failure
        return row
    n = rec.time.shape[0]
    row.update(station=rec.station, device=rec.device, revision=rec.revision, data_type=rec.data_file_type,
               start=_nanoseconds(rec.start), trigger=_nanoseconds(rec.trigger),
               duration=rec.duration if n else math.nan, frequency=rec.frequency,
               rate=max((r for r, _ in rec.sampling_rates), default=math.nan),
               rates=" ".join(f"{r:g}/{end}" for r, end in rec.sampling_rates), samples=n,
               analog_channels=len(rec.analog_channels), status_channels=len(rec.status_channels),
               missing_values=rec.missing_values, encoding=rec.encoding, warnings=len(rec.warnings))
    row.update(_group_peaks(rec))
    return row


def _group_peaks(rec):
    """Per three-phase group the peak absolute value and the peak one-cycle
    RMS over its three channels (the library's analysis unit); the largest of
    the current groups (unit A) and of the voltage groups (unit V)."""
    groups, peaks = rec.phase_groups(), []
    best = {"A": [math.nan, math.nan], "V": [math.nan, math.nan]}
    for group in groups:
        values = rec.analog[list(group.channels)]
        peak = float(np.nanmax(np.abs(values))) if values.size and not np.isnan(values).all() else math.nan
        rms = [rec.rms(c) for c in group.channels]
        rms = np.concatenate(rms) if rms else np.empty(0)
        peak_rms = float(np.nanmax(rms)) if rms.size and not np.isnan(rms).all() else math.nan
        peaks.append(dict(circuit=group.circuit, unit=group.unit, channels=[rec.analog_channels[c].name
                                                                            for c in group.channels],
                          peak=peak, peak_rms=peak_rms))
        if group.unit in best:
            best[group.unit] = [np.fmax(best[group.unit][0], peak), np.fmax(best[group.unit][1], peak_rms)]
    return dict(phase_groups=len(groups), peak_current=float(best["A"][0]), peak_current_rms=float(best["A"][1]),
                peak_voltage=float(best["V"][0]), peak_voltage_rms=float(best["V"][1]), group_peaks=peaks)


def _rms(values):
    values = values[~np.isnan(values)]
    return float(np.sqrt(np.mean(np.square(values)))) if values.size else math.nan


def scan_file_channels(path):
    """The rows of :func:`scan_channels` for one recording, a list of dicts."""
    path = os.fsdecode(path)
    rec, failure = _load(path)
    if failure:
        row = dict.fromkeys(CHANNEL_COLUMNS)
        row.update(path=path, result=failure[0], message=failure[1])
        return [row]
    # Times count from the first sample, as the trigger offset does.
    offset = rec.trigger_offset
    after = rec.time >= offset if offset is not None else None
    rows = []
    for ch, values in zip(rec.analog_channels, rec.analog):
        rows.append(dict(path=path, result=0, message="", index=ch.index, kind="analog", name=ch.name,
                         unit=ch.base_unit, phase=ch.phase, min=math.nan, max=math.nan,
                         rms_before=_rms(values[~after]) if after is not None else math.nan,
                         rms_after=_rms(values[after]) if after is not None else math.nan, changes=None))
        if values.size and not np.isnan(values).all():
            rows[-1].update(min=float(np.nanmin(values)), max=float(np.nanmax(values)))
    for ch, states in zip(rec.status_channels, rec.status):
        rows.append(dict(path=path, result=0, message="", index=ch.index, kind="status", name=ch.name, unit="",
                         phase=ch.phase, min=float(states.min()) if states.size else math.nan,
                         max=float(states.max()) if states.size else math.nan, rms_before=math.nan,
                         rms_after=math.nan, changes=int(np.count_nonzero(states[1:] != states[:-1]))))
    return rows


def frame(rows, columns):
    """A pandas DataFrame of ``rows`` (dicts) with the dtypes of ``columns``."""
    import pandas

    # Times exact to the nanosecond: a column of integers and None would pass through float64.
    times = {name: np.array([-2**63 if r.get(name) is None else r[name] for r in rows], dtype=np.int64)
             for name, dtype in columns.items() if dtype == "datetime64[ns]"}
    table = pandas.DataFrame.from_records(rows, columns=list(columns), exclude=list(times)) if rows else \
        pandas.DataFrame({name: pandas.Series(dtype=dtype) for name, dtype in columns.items() if name not in times})
    for name, ns in times.items():
        table.insert(list(columns).index(name), name, ns.view("datetime64[ns]"))
    return table.astype(columns)


def default_workers():
    """The CPUs this process may run on."""
    return len(os.sched_getaffinity(0)) if hasattr(os, "sched_getaffinity") else os.cpu_count() or 1


def _run(function, paths, workers):
    """``function`` of every path, in order, read by ``workers`` processes."""
    if workers is None:
        workers = default_workers()
    if workers <= 1 or len(paths) <= 1:
        return [function(p) for p in paths]
    # Whole chunks per task: a small recording reads in well under a millisecond,
    # so one task per file would cost more in messages than in reading.
    size = max(1, min(64, len(paths) // (workers * 4)))
    results = [None] * len(paths)
    pending = [list(range(i, min(i + size, len(paths)))) for i in range(0, len(paths), size)]
    # A process that dies (a crash in the reader, the memory killer) breaks the
    # whole pool and every task still in it: those files are read again one by
    # one, then each alone in its own pool, so only the file that kills its
    # reader ends as a failed row.
    for rounds_left in (2, 1, 0):
        broken = []
        pools = [pending] if rounds_left else [[chunk] for chunk in pending]
        for tasks in pools:
            with concurrent.futures.ProcessPoolExecutor(max_workers=min(workers, len(tasks))) as pool:
                futures = [_submit(pool, function, [paths[i] for i in chunk]) for chunk in tasks]
                for chunk, future in zip(tasks, futures):
                    try:
                        for i, result in zip(chunk, future.result()):
                            results[i] = result
                    except Exception as error:  # noqa: BLE001 - the chunk is read again or ends as rows
                        broken += [(i, error) for i in chunk]
        if not broken:
            break
        pending = [[i] for i, _ in broken]
    for i, error in broken:
        results[i] = _failed(function, paths[i], error)
    return results


def _submit(pool, function, paths):
    try:
        return pool.submit(_run_chunk, function, paths)
    except Exception as error:  # noqa: BLE001 - a process died while tasks were still handed out
        failed = concurrent.futures.Future()
        failed.set_exception(error)
        return failed


def _run_chunk(function, paths):
    return [function(p) for p in paths]


def _failed(function, path, error):
    row = dict.fromkeys(CHANNEL_COLUMNS if function is scan_file_channels else RECORDING_COLUMNS)
    row.update(path=path, result=FAILED, message=f"{path}: the process reading it stopped "
                                                 f"({type(error).__name__}: {error})")
    return [row] if function is scan_file_channels else row


def scan(paths, workers=None):
    """A pandas DataFrame with one row per recording named by ``paths`` (see
    :func:`expand_paths`): ``path``, ``result`` (0, or the load's result
    code; -1 when the reading process stopped) and ``message`` (the reader's
    sentence), then ``station``, ``device``, ``revision``, ``data_type``,
    ``start`` and ``trigger`` (datetime64[ns]), ``duration`` (s, as
    Recording.duration), ``frequency``, ``rate`` (the highest sampling rate) and
    ``rates`` ("rate/last sample" per rate line), ``samples``,
    ``analog_channels``, ``status_channels``, ``missing_values``,
    ``encoding`` and ``warnings`` (their count). ``workers`` processes read
    the files (None: one per CPU; 1: this process)."""
    paths = expand_paths(paths)
    return frame(_run(scan_file, paths, workers), RECORDING_COLUMNS)


def scan_channels(paths, workers=None):
    """A pandas DataFrame with one row per channel of every recording named by
    ``paths``: ``path``, ``result``, ``message``, ``index``, ``kind``
    ("analog" or "status"), ``name``, ``unit`` (that of the values),
    ``phase``, ``min``, ``max``, ``rms_before`` and ``rms_after`` (analog:
    RMS of the values before the trigger time and from it on, NaN without a
    valid start and trigger) and ``changes`` (status: number of changes of
    state). A recording that cannot be read is one row with its result."""
    paths = expand_paths(paths)
    return frame([row for rows in _run(scan_file_channels, paths, workers) for row in rows], CHANNEL_COLUMNS)
