"""Many waveform files, one per run, as one lazy xarray Dataset over Dask.

    ds = wavtrex.open_many("mc/run*.tr0", ["v(out)", "i(vdd)"])
    spread = ds["v(out)"].std("run").compute()

The runs are read in groups, one Dask task per group of about 100 ms of
reading: Dask's cost per task is more than a small run takes to read.
Building the Dataset opens only the first file, for what the graph must know
beforehand (the values' types, the sweeps and, without an axis, the
independent values); the values are read only when something is computed,
each file once by one task that checks its header against the first's and
reads the asked signals with the selective read, so a worker holds the asked
signals of its group of files and nothing else. (The first file's task takes
what building the Dataset read, unless that was on a worker.)
"""
import dataclasses
import glob
import os
import sys
import threading
from dataclasses import dataclass
from typing import Dict, Iterable, List, NamedTuple, Optional, Sequence, Union

import numpy as np

from ._frames import axis as axis_of
from ._tasks import FileGroup, files_read, groups, progress  # noqa: F401  (wavtrex.progress)
from ._waveform import open as _open

# What a task aims at: seconds of reading, at about the rate of a read of a
# cached binary file (from a disk the tasks take longer). A task of one run
# hands on the arrays read, without a copy.
_TASK_SECONDS, _READ_RATE = 0.1, 1e9
_KEPT_BYTES = 64 << 20  # at most this much of the chunk arrays' memory is reused


class _Blocks:
    """The memory of the chunk arrays, reused once nothing holds them, by
    the next chunk or computation. The C library hands large freed blocks
    back to the system, and memory touched for the first time costs a page
    fault every 4 kB: on a virtual machine about as much as reading the
    values. A block is free when only this pool refers to it (an array made
    from it refers to it however it is sliced)."""

    def __init__(self) -> None:
        self.kept: List[np.ndarray] = []
        self.lock = threading.Lock()

    def take(self, shape: tuple, dtype) -> np.ndarray:
        size = int(np.prod(shape)) * np.dtype(dtype).itemsize
        with self.lock:
            block = next((b for b, n in zip(self.kept, _references(self.kept))
                          if b.nbytes == size and n == _UNHELD), None)
            if block is None:
                block = np.empty(size, np.uint8)
                if sum(b.nbytes for b in self.kept) + size <= _KEPT_BYTES:
                    self.kept.append(block)
        return block.view(dtype).reshape(shape)


def _references(blocks: List[np.ndarray]) -> List[int]:
    return [sys.getrefcount(b) for b in blocks]


_UNHELD = _references([np.empty(0)])[0]  # a block only its list refers to
_blocks = _Blocks()


class _Header(NamedTuple):
    """What every run must share with the first, and the names it stores."""
    stored: list            # the stored names the signals resolve to
    sweeps: int             # 0 when the file is not swept
    parameters: List[str]   # the sweep parameters' names
    independent: str


@dataclass(frozen=True)
class _Plan:
    """What every read task needs besides its files: a key of its own in the
    graph, so the axis travels to each worker once and not with every task."""
    signals: List[str]      # as asked, one per stored signal (each file resolves them)
    names: List[str]        # the variables' names: the first file's stored names
    dtypes: list            # the variables' types, as the first file reads
    first: _Header
    ref_path: str
    axis: Optional[np.ndarray]       # interpolate onto it, or None
    reference: Optional[np.ndarray]  # without axis: the independent values all runs share
    dtype: object           # as asked of read(); None for what each file stores
    # The first file's sweeps as open_many read them, when the tasks run in
    # this process: its task takes them rather than reading the file again.
    first_read: Optional[list]

    def __reduce__(self):
        """Sent to other processes without first_read: they read the file."""
        kept = tuple(getattr(self, f.name) for f in dataclasses.fields(self))
        return _Plan, kept[:-1] + (None,)


class _Chunk(NamedTuple):
    """A task's result: arrays of its runs (run, [sweep,] X) per variable and
    (run, [sweep]) per sweep parameter, and each run's error ("" for none)."""
    values: Dict[str, np.ndarray]
    parameters: Dict[str, np.ndarray]
    errors: np.ndarray


def _header(wf, signals: List[str]) -> _Header:
    swept = bool(wf.sweep_parameters) or wf.sweep_count > 1
    return _Header(wf._resolve(signals), max(wf.sweep_count, 1) if swept else 0,
                   list(wf.sweep_parameters), axis_of(wf)[0])


def _read(wf, stored, dtype):
    return wf.read(stored, dtype=dtype)


def _reason(path: str, error: BaseException) -> str:
    """"path: reason", naming path once."""
    if isinstance(error, OSError) and error.strerror:
        return f"{path}: {error.strerror}"
    text = str(error.args[0]) if isinstance(error, KeyError) and error.args else str(error)
    return text if path in text else f"{path}: {text}"


def _first(paths: List[str], signals: List[str], skip: bool, dtype, keep: bool):
    """The first of paths that reads: (path, header, its values' types,
    its independent values, its sweeps if keep else None). With skip, the
    paths before it that fail are passed over (their tasks will give their
    reasons)."""
    reasons = []
    for path in paths:
        try:
            with _open(path) as wf:
                header = _header(wf, signals)
                sweeps = _read(wf, header.stored, dtype)
            sweep = sweeps[0]
            dtypes = [sweep[n].dtype for n in header.stored]
            return (path, header, dtypes, np.asarray(sweep.axes[header.stored[0]]),
                    sweeps if keep else None)
        except (OSError, KeyError, ValueError) as error:
            if not skip:
                raise
            reasons.append(_reason(path, error))
    raise ValueError("open_many: no file could be read: " + "; ".join(reasons))


def _interpolate(axis, x, y):
    """y(x) at axis, linear, NaN outside x's range; complex values are
    interpolated as their real and imaginary parts."""
    if len(x) == 0:
        return np.full(len(axis), np.nan)
    if x[0] > x[-1]:  # a downward sweep
        x, y = x[::-1], y[::-1]
    x = x.astype(np.float64)
    if np.iscomplexobj(y):
        return (np.interp(axis, x, y.real, np.nan, np.nan) +
                1j * np.interp(axis, x, y.imag, np.nan, np.nan))
    return np.interp(axis, x, y, np.nan, np.nan)


def _fit(path: str, plan: _Plan, s: int, stored, x, y, dtype, same: set):
    """y (signal stored of sweep s) as the Dataset holds it: on the axis, or
    checked against the first run's independent values (unless x is in same,
    the ids of those found equal: signals of a sweep share one array); of
    the first run's type."""
    if np.iscomplexobj(y) and np.dtype(dtype).kind != "c":
        raise ValueError(f"{path}: {stored!r} is complex, but real in {plan.ref_path}")
    if plan.axis is not None:
        y = _interpolate(plan.axis, x, y)
    elif id(x) not in same:
        if not np.array_equal(x, plan.reference):
            raise ValueError(f"{path}: its independent values differ from those of "
                             f"{plan.ref_path} (sweep {s}, signal {stored!r}); give open_many "
                             f"an axis to interpolate the runs onto")
        same.add(id(x))
    return np.asarray(y, dtype)  # the array read itself when it has the type


def _sweeps(header: _Header) -> str:
    if not header.sweeps:
        return "not swept"
    return f"{header.sweeps} sweeps of {', '.join(header.parameters) or 'no parameter'}"


def _read_run(path: str, plan: _Plan):
    """path's values as the Dataset holds them, after checking its header:
    per variable an array ([sweep,] X), per sweep parameter one ([sweep])."""
    first, kept = plan.first, path == plan.ref_path and plan.first_read is not None
    if kept:
        header, sweeps = first._replace(stored=plan.names), plan.first_read
    else:
        with _open(path) as wf:
            header = _header(wf, plan.signals)
            if (header.sweeps, header.parameters) != (first.sweeps, first.parameters):
                raise ValueError(f"{path}: {_sweeps(header)}, but {plan.ref_path}: "
                                 f"{_sweeps(first)}")
            sweeps = _read(wf, header.stored, plan.dtype)
    sweeps = sweeps[:max(first.sweeps, 1)]
    lacking = max(first.sweeps, 1) - len(sweeps)  # sweeps the file ends before: NaN
    values, same = {}, set()
    for name, stored, dtype in zip(plan.names, header.stored, plan.dtypes):
        rows = [_fit(path, plan, s, stored, sweep.axes[stored], sweep[stored], dtype, same)
                for s, sweep in enumerate(sweeps)]
        if lacking:
            rows += [np.full(_width(plan), np.nan, dtype)] * lacking
        # The plan keeps the first file's arrays for the next computation: a copy.
        values[name] = np.stack(rows) if first.sweeps else np.array(rows[0]) if kept else rows[0]
    parameters = {p: np.array([sweep.sweep_values[k] if sweep.sweep_values is not None and
                               k < len(sweep.sweep_values) else np.nan for sweep in sweeps] +
                              [np.nan] * lacking) for k, p in enumerate(first.parameters)}
    return values, parameters


def _width(plan: _Plan) -> int:
    return len(plan.axis if plan.axis is not None else plan.reference)


def _failed_run(plan: _Plan):
    """_read_run's arrays for a run that failed: NaN."""
    first = plan.first
    inner = (first.sweeps, _width(plan)) if first.sweeps else (_width(plan),)
    return ({n: np.full(inner, np.nan, t) for n, t in zip(plan.names, plan.dtypes)},
            {p: np.full(inner[:-1], np.nan) for p in first.parameters})


def _read_chunk(files: FileGroup, plan: _Plan, skip: bool) -> _Chunk:
    """One task: its files' values; a file that fails raises (naming it),
    or with skip gives NaN and its reason. Each run is copied into the
    chunk as soon as read, so the reader's memory serves the next; a chunk
    of one run is the arrays read."""
    count, parts = len(files.paths), None
    errors = np.full(count, "", dtype=object)
    for row, path in enumerate(files.paths):
        try:
            run = _read_run(path, plan)
        except (OSError, KeyError, ValueError) as error:
            if not skip:
                raise
            run = _failed_run(plan)
            errors[row] = _reason(path, error)
        files_read(1)
        if count == 1:
            return _Chunk(*[{n: a[None] for n, a in part.items()} for part in run], errors)
        parts = _place(parts, run, count, row)
        del run  # freed before the next read: the C library keeps the memory at hand
    return _Chunk(*parts, errors)


def _place(parts, run, count: int, row: int):
    """Copies a run into row of the chunk's arrays, made for its first run."""
    parts = parts or [{n: _blocks.take((count,) + a.shape, a.dtype) for n, a in part.items()}
                      for part in run]
    for into, part in zip(parts, run):
        for name, array in part.items():
            into[name][row] = array
    return parts


def _part(chunk: _Chunk, part: str, name: str):
    return chunk.errors if part == "errors" else getattr(chunk, part)[name]


def _expand(paths: Union[str, "os.PathLike[str]", Iterable]) -> List[str]:
    if isinstance(paths, (str, os.PathLike)):
        pattern = os.fspath(paths)
        found = sorted(glob.glob(pattern, recursive=True))
        if not found:
            raise FileNotFoundError(f"no file matches {pattern}")
        return found
    return [os.fspath(p) for p in paths]


def _arguments(paths, signals, errors: str, files_per_chunk: Optional[int]):
    """open_many's paths (absolute) and signals (a list), once checked."""
    from ._frames import _need
    _need("dask.array", "python3-dask", "open_many")
    _need("xarray", "python3-xarray", "open_many")
    if errors not in ("raise", "skip"):
        raise ValueError(f"errors must be 'raise' or 'skip', not {errors!r}")
    if files_per_chunk is not None and files_per_chunk < 1:
        raise ValueError("files_per_chunk must be at least 1")
    signals = [signals] if isinstance(signals, str) else list(signals)
    if not signals:
        raise ValueError("open_many needs at least one signal name")
    paths = [os.path.abspath(p) for p in _expand(paths)]
    if not paths:
        raise ValueError("open_many needs at least one file")
    return paths, signals


def _plan(paths: List[str], signals: List[str], axis, skip: bool, dtype, client) -> _Plan:
    """The plan of the read tasks, from the first file that reads (on a
    worker with a client: the files may be on the workers' file system)."""
    if client is not None:
        first = client.submit(_first, paths, signals, skip, dtype, False, pure=False).result()
    else:
        first = _first(paths, signals, skip, dtype, True)
    ref_path, header, dtypes, reference, sweeps = first
    # Two names for one signal (forgiven, or given twice) read it once.
    once = [k for k, n in enumerate(header.stored) if header.stored.index(n) == k]
    if axis is not None:
        axis, reference = np.asarray(axis, dtype=np.float64), None
        if axis.ndim != 1:
            raise ValueError("axis must be one-dimensional")
    return _Plan([signals[k] for k in once], [header.stored[k] for k in once],
                 [dtypes[k] for k in once], header, ref_path, axis, reference, dtype, sweeps)


def _dataset(plan: _Plan, chunks: List[List[str]], skip: bool):
    """The lazy Dataset: one read task per chunk of runs, and each variable
    a blockwise map picking its part of the reads, which Dask fuses with
    what is computed next."""
    import dask
    import dask.array as da
    import xarray as xr
    from dask.highlevelgraph import HighLevelGraph

    token = dask.base.tokenize(chunks, plan.signals, plan.axis, plan.reference, plan.dtype, skip)
    plan_key, read_name = f"wavtrex-plan-{token}", f"wavtrex-read-{token}"
    reads = {plan_key: plan}
    reads.update({(read_name, i): (_read_chunk, FileGroup(c), plan_key, skip)
                  for i, c in enumerate(chunks)})
    runs = da.Array(HighLevelGraph({read_name: reads}, {read_name: set()}), read_name,
                    ((1,) * len(chunks),), dtype=object, meta=np.empty((0,), dtype=object))
    first, width = plan.first, _width(plan)
    inner = ((first.sweeps,), (width,)) if first.sweeps else ((width,),)
    run_chunks = (tuple(len(c) for c in chunks),)

    def lazy(part, name, dtype, chunks):
        return runs.map_blocks(_part, part, name, name=f"wavtrex-{part}-{name}-{token}",
                               new_axis=list(range(1, 1 + len(chunks))),
                               chunks=run_chunks + chunks, dtype=dtype,
                               meta=np.empty((0,) * (1 + len(chunks)), dtype=dtype))

    dims = ("run", "sweep", first.independent) if first.sweeps else ("run", first.independent)
    data = {n: xr.Variable(dims, lazy("values", n, t, inner))
            for n, t in zip(plan.names, plan.dtypes)}
    coords = {"run": ("run", [p for c in chunks for p in c]),
              "error": ("run", lazy("errors", "", object, ())),
              first.independent: (first.independent,
                                  plan.axis if plan.axis is not None else plan.reference)}
    if first.sweeps:
        coords["sweep"] = ("sweep", np.arange(first.sweeps))
        coords.update({p: (("run", "sweep"), lazy("parameters", p, np.float64, inner[:1]))
                       for p in first.parameters})
    ds = xr.Dataset(data, coords=coords)
    if plan.axis is not None:
        ds.attrs["interpolated"] = "linear, NaN outside each run's range"
    return ds


def _workers(client) -> int:
    """The threads computing the tasks: the client's workers', or the
    threaded scheduler's."""
    if client is not None:
        return sum(client.nthreads().values()) or 1
    import dask
    return dask.config.get("num_workers", None) or os.cpu_count() or 1


def open_many(paths, signals: Union[str, Sequence[str]], axis=None, client=None,
              errors: str = "raise", files_per_chunk: Optional[int] = None, dtype=None):
    """Many waveform files (one per run) as one lazy xarray.Dataset.

    paths is a list of paths or a glob pattern ("**" descends into folders);
    the runs keep its order (a pattern's matches are sorted). signals names
    the signals to read (forgiving names, as for Waveform.read); each becomes
    a variable of Dask arrays with dimensions ("run", [ "sweep",] X), X named
    after the independent variable. The "run" coordinate holds the paths;
    swept files add "sweep" and a (run, sweep) coordinate per sweep parameter.
    Each chunk of "run" is one Dask task reading its files one after another:
    files_per_chunk of them, or by default about 100 ms of reading (from the
    files' sizes), at most an eighth of each worker's share.

    dtype is passed to Waveform.read (None: what the files store); every
    variable has the type of the first file's values (a later run's are
    cast to it; a complex one where the first is real is that run's error).

    With axis (an array), every run is interpolated onto it on the worker that
    reads it: linearly, real and imaginary parts apart, NaN outside the run's
    own range. Without it, every run must have the independent values of the
    first file (read at once: they are the X coordinate), and computing a run
    that differs raises a ValueError naming it.

    Only the first file is read at once (its error raises here; with
    errors="skip", the first that reads). Every other is opened when
    computed, by the task that reads it, and checked against the first (its
    sweeps and parameters): a file that fails raises its error, naming the
    path, or with errors="skip" its run is NaN (which xarray's reductions
    skip) and the "error" coordinate gives "path: reason".

    client, a dask.distributed Client, reads the first file on a worker and
    sizes the chunks for its workers; the values are computed by whatever
    scheduler computes the Dataset: Dask's threaded one by default (the read
    releases the GIL), a Client once one is created. wavtrex.progress()
    shows the files read. Needs dask and xarray (python3-dask, python3-xarray).
    """
    paths, signals = _arguments(paths, signals, errors, files_per_chunk)
    plan = _plan(paths, signals, axis, errors == "skip", dtype, client)
    chunks = groups(paths, paths, _TASK_SECONDS, _READ_RATE, _workers(client),
                    files_per_chunk or 0)
    return _dataset(plan, chunks, errors == "skip")
