"""The tables of kivcomtrade.scan and scan_channels as Dask DataFrames: the
same per-file functions, run by whichever Dask scheduler computes the frame,
so one call serves a laptop's LocalCluster and a real cluster.

    >>> from dask.distributed import Client
    >>> client = Client("tcp://scheduler:8786")        # or Client(LocalCluster())
    >>> table = kivcomtrade.dask.scan("/archive/**/*.cfg", client=client)
    >>> table[table.result != 0].compute()
    >>> table.to_csv("/archive/scan-*.csv")

The paths are expanded here, in the calling process; the workers must see the
same files under the same names (a shared or network file system).
"""

import dask
import dask.dataframe

from . import fleet

__all__ = ["scan", "scan_channels"]


def _recordings(paths):
    return fleet.frame([fleet.scan_file(p) for p in paths], fleet.RECORDING_COLUMNS)


def _channels(paths):
    return fleet.frame([row for p in paths for row in fleet.scan_file_channels(p)], fleet.CHANNEL_COLUMNS)


def _build(function, columns, paths, client, files_per_partition):
    paths = fleet.expand_paths(paths)
    if files_per_partition < 1:
        raise ValueError("files_per_partition must be at least 1")
    parts = [dask.delayed(function, pure=True)(paths[i:i + files_per_partition])
             for i in range(0, len(paths), files_per_partition)]
    meta = fleet.frame([], columns)
    table = dask.dataframe.from_delayed(parts, meta=meta, verify_meta=False) if parts else \
        dask.dataframe.from_pandas(meta, npartitions=1)
    # With a client the reading starts on its cluster at once and the frame
    # holds the results there; without one, whatever scheduler computes it.
    return client.persist(table) if client is not None else table


def scan(paths, client=None, files_per_partition=64):
    """A dask DataFrame with the rows and columns of :func:`kivcomtrade.scan`,
    one partition per ``files_per_partition`` recordings. With ``client`` (a
    ``dask.distributed.Client``) the frame is persisted on its cluster."""
    return _build(_recordings, fleet.RECORDING_COLUMNS, paths, client, files_per_partition)


def scan_channels(paths, client=None, files_per_partition=64):
    """A dask DataFrame with the rows and columns of :func:`kivcomtrade.scan_channels`."""
    return _build(_channels, fleet.CHANNEL_COLUMNS, paths, client, files_per_partition)
