"""Sweeps as xarray Datasets and pandas DataFrames. Both libraries are
optional: each is imported when a conversion first needs it."""
import importlib

import numpy as np


def _need(module, package, use):
    try:
        return importlib.import_module(module)
    except ImportError as error:
        raise ImportError(f"{use} needs {module}, which is not installed: apt-get install "
                          f"{package} (Debian), or pip install {module}") from error


def _layout(wf, sweeps):
    """What both conversions share: the signal names read, whether the file is
    swept, and the independent variable's name."""
    names = list(sweeps[0].values) if sweeps else []
    swept = bool(wf.sweep_parameters) or len(sweeps) > 1
    return names, swept, wf.independent or "index"


def _sweep_coordinates(wf, sweeps):
    """One coordinate per sweep parameter, along "sweep"."""
    coords = {}
    for k, parameter in enumerate(wf.sweep_parameters):
        values = [s.sweep_values[k] if s.sweep_values is not None and k < len(s.sweep_values)
                  else np.nan for s in sweeps]
        coords[parameter] = ("sweep", np.array(values, dtype=np.float32))
    return coords


def _padded(arrays, width, dtype):
    out = np.full((len(arrays), width), np.nan, dtype=dtype)
    for row, a in zip(out, arrays):
        row[:len(a)] = a
    return out


def to_xarray(wf, sweeps):
    """See Waveform.to_xarray."""
    xr = _need("xarray", "python3-xarray", "to_xarray")
    names, swept, independent = _layout(wf, sweeps)
    own_times = bool(sweeps) and sweeps[0].independent is None
    types = wf.signal_types
    coords, variables, padded = {}, {}, False
    # The signals sharing one set of independent values, with their dimension.
    groups = ([(f"{independent}_{n}", [n]) for n in names] if own_times
              else [(independent, names)] if names else [])
    for dim, members in groups:
        axes = [s.axes[members[0]] for s in sweeps]
        if not swept:
            coords[dim] = (dim, axes[0])
            for n in members:
                variables[n] = ((dim,), sweeps[0].values[n])
            continue
        width = max(len(a) for a in axes)
        shared = all(len(a) == width and np.array_equal(a, axes[0]) for a in axes)
        if shared:
            coords[dim] = (dim, axes[0])
            dims = ("sweep", dim)
        else:
            dims = ("sweep", f"{dim}_index")
            coords[dim] = (dims, _padded(axes, width, np.float32))
        for n in members:
            # One signal at a time, releasing its sweeps' arrays once stacked.
            parts = [s.values.pop(n) for s in sweeps]
            padded = padded or any(len(p) < width for p in parts)
            variables[n] = (dims, _padded(parts, width, parts[0].dtype))
            del parts
    if swept:
        coords.update(_sweep_coordinates(wf, sweeps))
    ds = xr.Dataset({n: xr.Variable(dims, data, {"kind": types[n].kind,
                                                 "type_code": types[n].type_code})
                     for n, (dims, data) in variables.items()}, coords=coords)
    ds.attrs = {"title": wf.title, "date": wf.date, "format": wf.format_name,
                "version": wf.version, "path": str(wf.path)}
    if wf.analysis is not None:
        ds.attrs["analysis"] = str(wf.analysis)
    if padded:
        ds.attrs["padding"] = "sweeps of different lengths are padded with NaN"
    return ds


def to_pandas(wf, sweeps):
    """See Waveform.to_pandas."""
    pd = _need("pandas", "python3-pandas", "to_pandas")
    names, swept, independent = _layout(wf, sweeps)
    frames = []
    for s in sweeps:
        if s.independent is not None:
            frame = pd.DataFrame({n: s.values[n] for n in names},
                                 index=pd.Index(s.independent, name=independent), columns=names)
        else:
            columns = []
            for n in names:
                column = pd.Series(s.values[n], index=s.axes[n], name=n)
                columns.append(column[~column.index.duplicated(keep="last")])
            frame = pd.concat(columns, axis=1, sort=True) if columns else pd.DataFrame()
            frame.index.name = independent
        frames.append(frame)
    if not frames:
        return pd.DataFrame(columns=names)
    if not swept:
        return frames[0]
    # The sweep number leads: parameter values need not tell sweeps apart.
    levels = ["sweep"] + list(wf.sweep_parameters)
    parts = []
    for number, (s, frame) in enumerate(zip(sweeps, frames)):
        keys = list(s.sweep_values) if s.sweep_values is not None else []
        keys = (keys + [np.nan] * len(levels))[:len(levels) - 1]
        index = [np.full(len(frame), number)] + [np.full(len(frame), k, dtype=np.float32)
                                                 for k in keys]
        frame.index = pd.MultiIndex.from_arrays(index + [frame.index.to_numpy()],
                                                names=levels + [independent])
        parts.append(frame)
    return pd.concat(parts)
