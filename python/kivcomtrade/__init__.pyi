import enum
import os
from typing import Any, Iterable, Iterator, Literal, NamedTuple, Protocol, Sequence, overload

import numpy as np
import numpy.typing as npt

__all__ = ["load", "iter_chunks", "Chunk", "from_arrays", "LoadResult", "Recording", "AnalogChannel",
           "StatusChannel", "Harmonics", "PhaseGroup", "sequence", "LoadError", "MissingFileError",
           "InvalidRecordingError", "load_bytes", "scan", "scan_channels"]

class LoadResult(enum.IntEnum):
    Success = 0
    NotARecordingName = 1
    NoConfigFile = 2
    BadConfigFile = 3
    ConfigRead = 4
    NoDataFile = 5
    BadDataFile = 6
    BadSelection = 7
    def text(self) -> str: ...

class LoadError(Exception):
    code: LoadResult
    filename: str | None
    def __init__(self, message: str, code: int, file: str = ...) -> None: ...

class MissingFileError(LoadError, FileNotFoundError): ...
class InvalidRecordingError(LoadError, ValueError): ...

# Channel objects are read-only views of the recording's channel lines.
class AnalogChannel:
    index: int
    name: str
    phase: str
    component: str
    unit: str
    base_unit: str
    multiplier: float
    a: float
    b: float
    skew: float
    min: float
    max: float
    primary: float
    secondary: float
    ps: str

class StatusChannel:
    index: int
    name: str
    phase: str
    component: str
    normal_state: int

ChannelRef = int | str | AnalogChannel | StatusChannel

class Harmonics(NamedTuple):
    phasors: npt.NDArray[np.complex128]
    magnitudes: npt.NDArray[np.float64]
    thd: float

class PhaseGroup(NamedTuple):
    circuit: str
    unit: str
    channels: tuple[int, int, int]

class Recording:
    time: npt.NDArray[np.float64]
    analog: npt.NDArray[np.float64]
    status: npt.NDArray[np.bool_]
    station: str
    device: str
    revision: int
    frequency: float
    sampling_rates: list[tuple[float, int]]
    data_file_type: str
    time_multiplier: float
    duration: float
    start: np.datetime64 | None
    trigger: np.datetime64 | None
    trigger_offset: float | None
    time_from_trigger: npt.NDArray[np.float64]
    header_text: str
    information_text: str
    analog_channels: list[AnalogChannel]
    status_channels: list[StatusChannel]
    warnings: list[str]
    encoding: str
    missing_values: int
    file_name: str
    cfg_file_name: str
    dat_file_name: str
    first_record: int
    selection: str
    def __init__(self, path: str | os.PathLike[str], encoding: str | None = ...,
                 side: Literal["secondary", "primary", "recorded"] = ...,
                 channels: list[str | int] | None = ..., start: float | None = ..., end: float | None = ...,
                 from_trigger: bool = ...) -> None: ...
    def channel(self, channel: ChannelRef) -> AnalogChannel | StatusChannel: ...
    @overload
    def value(self, channel: ChannelRef, t: float) -> float: ...
    @overload
    def value(self, channel: ChannelRef, t: npt.ArrayLike) -> npt.NDArray[np.float64]: ...
    def points(self, channel: ChannelRef, t0: float = ..., t1: float = ...,
               rate: float = ...) -> npt.NDArray[np.float32]: ...
    def to_dataframe(self, index: Literal["first", "trigger", "absolute"] = ...) -> Any: ...
    def save(self, path: str | os.PathLike[str], type: Literal["ascii", "binary", "binary32", "float32"] = ...,
             revision: Literal[1999, 2013] = ..., start: float | None = ..., end: float | None = ...,
             channels: Sequence[ChannelRef] | None = ...) -> list[str]: ...

    def rms(self, channel: ChannelRef) -> npt.NDArray[np.float64]: ...
    def phasors(self, channel: ChannelRef) -> npt.NDArray[np.complex128]: ...
    def phasor(self, channel: ChannelRef, t: float) -> complex: ...
    def harmonics(self, channel: ChannelRef, t: float, order: int = ...) -> Harmonics: ...
    def frequencies(self, channel: ChannelRef) -> tuple[npt.NDArray[np.float64], npt.NDArray[np.float64]]: ...
    def phase_groups(self) -> list[PhaseGroup]: ...

@overload
def sequence(a: complex, b: complex, c: complex) -> tuple[complex, complex, complex]: ...
@overload
def sequence(a: npt.ArrayLike, b: npt.ArrayLike,
             c: npt.ArrayLike) -> tuple[npt.NDArray[np.complex128], npt.NDArray[np.complex128],
                                        npt.NDArray[np.complex128]]: ...

__version__: str

class _Readable(Protocol):
    def read(self) -> bytes: ...

Buffer = bytes | bytearray | memoryview

def load(path: str | os.PathLike[str] | _Readable, encoding: str | None = ...,
         side: Literal["secondary", "primary", "recorded"] = ..., channels: list[str | int] | None = ...,
         start: float | None = ..., end: float | None = ..., from_trigger: bool = ...) -> Recording: ...
def load_bytes(cfg: Buffer | None = ..., dat: Buffer | None = ..., *, cff: Buffer | None = ...,
               name: str | None = ..., encoding: str | None = ...,
               side: Literal["secondary", "primary", "recorded"] = ...) -> Recording: ...

PathsArg = str | os.PathLike[str] | Iterable[str | os.PathLike[str]]

def scan(paths: PathsArg, workers: int | None = ...) -> Any: ...
def scan_channels(paths: PathsArg, workers: int | None = ...) -> Any: ...
def from_arrays(time: Any, analog: Any, status: Any = ..., *, analog_names: Sequence[str],
                analog_units: Sequence[str], status_names: Sequence[str] | None = ..., station: str = ...,
                device: str = ..., frequency: float = ..., start: Any = ..., trigger: Any = ...,
                phases: Sequence[str] | None = ...) -> Recording: ...

class Chunk:
    first: int
    time: npt.NDArray[np.float64]
    analog: npt.NDArray[np.float64]
    status: npt.NDArray[np.bool_]
    analog_indices: list[int]
    status_indices: list[int]

def iter_chunks(path: str | os.PathLike[str], samples: int = ..., channels: list[str | int] | None = ...,
                start: float | None = ..., end: float | None = ..., encoding: str | None = ...,
                from_trigger: bool = ...) -> Iterator[Chunk]: ...
