"""Many waveform files, one per run, as one lazy xarray Dataset over Dask.

    ds = wavtrex.open_many("mc/run*.tr0", ["v(out)", "i(vdd)"])
    spread = ds["v(out)"].std("run").compute()

Every file becomes one chunk along a "run" dimension. Building the Dataset
opens each file's header in a Dask task (to learn its sweeps and signal
types); the values are read only when something is computed, each file by
one task, with the selective read, so a worker holds the asked signals of
the files it is reading and nothing else.
"""
import glob
import operator
import os
from typing import Iterable, List, Sequence, Union

import numpy as np

import wavtrex

_COMPLEX_KIND = 10  # the reader's kind of a complex signal


class _Plan:
    """What every read task needs besides its path; a key of its own in the
    graph, so the axis travels to each worker once and not with every task."""

    def __init__(self, signals, names, dtypes, sweeps, parameters, axis, reference, ref_path):
        self.signals = signals        # as asked (each file resolves them itself)
        self.names = names            # the variables' names
        self.dtypes = dtypes
        self.sweeps = sweeps          # 0 when the files are not swept
        self.parameters = parameters  # sweep parameter names
        self.axis = axis              # interpolate onto it, or None
        self.reference = reference    # without axis: the independent values all runs share
        self.ref_path = ref_path


def _header(paths: Sequence[str], signals: List[str], reference: bool = False):
    """Per path: (stored names, dtypes, sweep count, swept, parameters,
    independent name), or the error that makes it unusable; with reference,
    also the independent values of the first usable file (see _reference)."""
    out, axis = [], None
    for path in paths:
        try:
            with wavtrex.open(path) as wf:
                stored = wf._resolve(signals)
                types = wf.signal_types
                dtypes = [np.complex64 if types[n].kind == _COMPLEX_KIND else np.float32
                          for n in stored]
                swept = bool(wf.sweep_parameters) or wf.sweep_count > 1
                header = (stored, dtypes, max(wf.sweep_count, 1), swept,
                          list(wf.sweep_parameters), wf.independent or "index")
            if reference and axis is None:
                axis = _reference(path, signals)
            out.append(header)
        except (OSError, KeyError, ValueError) as error:
            out.append(error)
    return out, axis


def _reason(error: BaseException) -> str:
    if isinstance(error, KeyError) and error.args:
        return str(error.args[0])
    if isinstance(error, OSError) and error.strerror:
        return error.strerror
    return str(error)


def _reference(path: str, signals: List[str]):
    """The independent values of path's first sweep."""
    with wavtrex.open(path) as wf:
        sweep = wf.read(wf._resolve(signals[:1]))[0]
    return np.asarray(next(iter(sweep.axes.values())))


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


def _read_run(path: str, plan: _Plan, skip: bool):
    """One run's values, shaped (1, [sweep,] points) per variable; a failed
    read raises (naming path), or with skip gives NaN and its reason."""
    width = len(plan.axis) if plan.axis is not None else len(plan.reference)
    shape = (1, plan.sweeps, width) if plan.sweeps else (1, width)
    out = {n: np.full(shape, np.nan, dtype) for n, dtype in zip(plan.names, plan.dtypes)}
    out.update({p: np.full(shape[:-1], np.nan, np.float32) for p in plan.parameters})
    out[""] = np.array([""], dtype=object)
    try:
        with wavtrex.open(path) as wf:
            stored = wf._resolve(plan.signals)
            sweeps = wf.read(stored)
        for s, sweep in enumerate(sweeps[:max(plan.sweeps, 1)]):
            at = (0, s) if plan.sweeps else (0,)
            for name, real in zip(plan.names, stored):
                x, y = sweep.axes[real], sweep[real]
                if plan.axis is not None:
                    out[name][at] = _interpolate(plan.axis, x, y)
                elif not np.array_equal(x, plan.reference):
                    raise ValueError(
                        f"{path}: its independent values differ from those of "
                        f"{plan.ref_path} (sweep {s}, signal {real!r}); give open_many "
                        f"an axis to interpolate the runs onto")
                else:
                    out[name][at] = y
            for k, parameter in enumerate(plan.parameters):
                if sweep.sweep_values is not None and k < len(sweep.sweep_values):
                    out[parameter][at] = sweep.sweep_values[k]
    except (OSError, KeyError, ValueError) as error:
        if not skip:
            raise
        for name in plan.names:
            out[name][...] = np.nan
        out[""][0] = f"{path}: {_reason(error)}"
    return out


def _expand(paths: Union[str, "os.PathLike[str]", Iterable]) -> List[str]:
    if isinstance(paths, (str, os.PathLike)):
        pattern = os.fspath(paths)
        found = sorted(glob.glob(pattern, recursive=True))
        if not found:
            raise FileNotFoundError(f"no file matches {pattern}")
        return found
    return [os.fspath(p) for p in paths]


def _compute(client, tasks):
    import dask
    if client is not None:
        return client.gather(client.compute(list(tasks)))
    return list(dask.compute(*tasks))


def open_many(paths, signals: Union[str, Sequence[str]], axis=None, client=None,
              errors: str = "raise"):
    """Many waveform files (one per run) as one lazy xarray.Dataset.

    paths is a list of paths or a glob pattern ("**" descends into folders);
    the runs keep its order (a pattern's matches are sorted). signals names
    the signals to read (forgiving names, as for Waveform.read); each becomes
    a variable of Dask arrays with dimensions ("run", [ "sweep",] X), one chunk
    per file, X named after the independent variable. The "run" coordinate
    holds the paths; swept files add "sweep" and a (run, sweep) coordinate
    per sweep parameter.

    With axis (an array), every run is interpolated onto it on the worker that
    reads it: linearly, real and imaginary parts apart, NaN outside the run's
    own range. Without it, every run must have the independent values of the
    first file (read at once: they are the X coordinate), and computing a run
    that differs raises a ValueError naming it.

    The headers are read at once, in Dask tasks: a file that cannot be opened
    or lacks a signal raises its error, naming the path (errors="raise"), or
    is left out and listed in the Dataset's "skipped" attribute as "path:
    reason" (errors="skip"). A file that opens but fails to read is found only
    when computed: it raises, or with errors="skip" its run is NaN (which
    xarray's reductions skip) and the "error" coordinate gives the reason.

    client, a dask.distributed Client, runs the header tasks; the values are
    computed by whatever scheduler computes the Dataset (a Client makes itself
    the default when created). Without one, Dask's default scheduler.
    Needs dask and xarray (python3-dask, python3-xarray).
    """
    from ._frames import _need
    da = _need("dask.array", "python3-dask", "open_many")
    xr = _need("xarray", "python3-xarray", "open_many")
    import dask
    from dask.highlevelgraph import HighLevelGraph

    if errors not in ("raise", "skip"):
        raise ValueError(f"errors must be 'raise' or 'skip', not {errors!r}")
    skip = errors == "skip"
    signals = [signals] if isinstance(signals, str) else list(signals)
    if not signals:
        raise ValueError("open_many needs at least one signal name")
    paths = [os.path.abspath(p) for p in _expand(paths)]
    if not paths:
        raise ValueError("open_many needs at least one file")

    # Headers in batches: one task per file would cost more than the header.
    step = max(1, min(64, len(paths) // 16))
    batches = [paths[i:i + step] for i in range(0, len(paths), step)]
    # Without an axis the first batch also reads its first usable file's
    # independent values: the coordinate every run must share.
    results = _compute(client, [dask.delayed(_header, pure=True)(b, signals, axis is None and not k)
                                for k, b in enumerate(batches)])
    headers = [h for batch, _ in results for h in batch]
    good, skipped, first = [], [], None
    for path, header in zip(paths, headers):
        if isinstance(header, BaseException):
            if not skip:
                raise header
            skipped.append(f"{path}: {_reason(header)}")
            continue
        first = first or (path, header)
        if header[2:5] != first[1][2:5]:
            what = (f"{path}: {header[2]} sweeps of {header[4] or 'no parameter'}, "
                    f"but {first[0]} has {first[1][2]} of {first[1][4] or 'no parameter'}")
            if not skip:
                raise ValueError(what)
            skipped.append(what)
            continue
        good.append(path)
    if first is None:
        raise ValueError("open_many: no file could be opened: " + "; ".join(skipped))
    ref_path, (stored, dtypes, sweeps, swept, parameters, independent) = first
    # Two names for one signal (forgiven, or given twice) read it once.
    once = [k for k, n in enumerate(stored) if stored.index(n) == k]
    signals, names, dtypes = ([signals[k] for k in once], [stored[k] for k in once],
                              [dtypes[k] for k in once])
    sweeps = sweeps if swept else 0
    if axis is not None:
        axis = np.asarray(axis, dtype=np.float64)
        if axis.ndim != 1:
            raise ValueError("axis must be one-dimensional")
        reference = None
    elif ref_path in batches[0]:
        reference = results[0][1]
    else:
        reference = _compute(client, [dask.delayed(_reference, pure=True)(ref_path, signals)])[0]
    plan = _Plan(signals, names, dtypes, sweeps, parameters, axis, reference, ref_path)

    token = dask.base.tokenize(good, signals, axis, reference, skip)
    plan_key, read_name = f"wavtrex-plan-{token}", f"wavtrex-read-{token}"
    reads = {plan_key: plan}
    reads.update({(read_name, i): (_read_run, p, plan_key, skip) for i, p in enumerate(good)})
    width = len(axis if axis is not None else reference)
    inner = ((sweeps,), (width,)) if sweeps else ((width,),)

    # An array of the runs' read results (dicts), and each part of them a
    # blockwise map over it, which Dask fuses with what is computed next.
    runs = da.Array(HighLevelGraph({read_name: reads}, {read_name: set()}), read_name,
                    ((1,) * len(good),), dtype=object, meta=np.empty((0,), dtype=object))

    def lazy(part, dtype, chunks):
        return runs.map_blocks(operator.getitem, part, name=f"wavtrex-{part}-{token}",
                               new_axis=list(range(1, 1 + len(chunks))),
                               chunks=((1,) * len(good),) + chunks, dtype=dtype,
                               meta=np.empty((0,) * (1 + len(chunks)), dtype=dtype))

    dims = ("run", "sweep", independent) if sweeps else ("run", independent)
    data = {n: xr.Variable(dims, lazy(n, dtype, inner)) for n, dtype in zip(names, dtypes)}
    coords = {"run": ("run", good), "error": ("run", lazy("", object, ()))}
    coords[independent] = (independent, axis if axis is not None else reference)
    if sweeps:
        coords["sweep"] = ("sweep", np.arange(sweeps))
        coords.update({p: (("run", "sweep"), lazy(p, np.float32, inner[:1]))
                       for p in parameters})
    ds = xr.Dataset(data, coords=coords)
    ds.attrs["skipped"] = skipped
    if axis is not None:
        ds.attrs["interpolated"] = "linear, NaN outside each run's range"
    return ds
