import datetime
import os
from typing import Any, Iterator, overload

import numpy as np
import numpy.typing as npt

__all__ = ["load", "iter_chunks", "Chunk", "Recording", "AnalogChannel", "StatusChannel", "Timestamp", "LoadError",
           "MissingFileError", "InvalidRecordingError"]

class LoadError(Exception):
    code: int
    filename: str | None
    def __init__(self, message: str, code: int, file: str = ...) -> None: ...

class MissingFileError(LoadError, FileNotFoundError): ...
class InvalidRecordingError(LoadError, ValueError): ...

class Timestamp(datetime.datetime):
    nanosecond: int

class AnalogChannel:
    index: int
    name: str
    phase: str
    component: str
    unit: str
    multiplier: float
    a: float
    b: float
    skew: float
    min: float
    max: float
    primary: float
    secondary: float
    ps: str
    @property
    def base_unit(self) -> str: ...

class StatusChannel:
    index: int
    name: str
    phase: str
    component: str
    normal_state: int

ChannelRef = int | str | AnalogChannel | StatusChannel

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
    start: Timestamp | None
    trigger: Timestamp | None
    analog_channels: list[AnalogChannel]
    status_channels: list[StatusChannel]
    warnings: list[str]
    encoding: str
    missing_values: int
    cfg_file_name: str
    dat_file_name: str
    first_record: int
    selection: str
    def channel(self, channel: ChannelRef) -> AnalogChannel | StatusChannel: ...
    @overload
    def value(self, channel: ChannelRef, t: float) -> float: ...
    @overload
    def value(self, channel: ChannelRef, t: npt.ArrayLike) -> npt.NDArray[np.float64]: ...
    def points(self, channel: ChannelRef, t0: float = ..., t1: float = ...,
               rate: float = ...) -> npt.NDArray[np.float32]: ...
    def to_dataframe(self) -> Any: ...

def load(path: str | os.PathLike[str], encoding: str | None = ..., channels: list[str | int] | None = ...,
         start: float | None = ..., end: float | None = ..., from_trigger: bool = ...) -> Recording: ...

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
