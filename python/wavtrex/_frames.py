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
    dtype = next((s.sweep_values.dtype for s in sweeps if s.sweep_values is not None),
                 np.float32)
    for k, parameter in enumerate(wf.sweep_parameters):
        values = [s.sweep_values[k] if s.sweep_values is not None and k < len(s.sweep_values)
                  else np.nan for s in sweeps]
        coords[parameter] = ("sweep", np.array(values, dtype=dtype),
                             {"units": "", "long_name": parameter, "kind": "sweep parameter",
                              "type": "real"})
    return coords


def _attrs(name, t):
    """The CF-style attributes of a variable: its SignalType in words."""
    return {"units": t.units, "long_name": name, "kind": t.quantity, "type": t.value_type}


def axis(wf):
    """The independent variable's dimension name and attributes. The name is
    its quantity where that has a unit ("time", "frequency"), so runs of
    different simulators line up; else (a DC sweep's source, an analysis the
    file does not tell) its own name in lower case, which is kept as the
    "file_name" attribute either way."""
    name, t = wf.independent or "index", wf.independent_type
    if t is None:
        return name.lower(), {"units": "", "long_name": name, "kind": "unknown",
                              "type": "real", "file_name": name}
    return (t.quantity if t.units else name.lower()), {**_attrs(name, t), "file_name": name}


def _padded(arrays, width, dtype):
    out = np.full((len(arrays), width), np.nan, dtype=dtype)
    for row, a in zip(out, arrays):
        row[:len(a)] = a
    return out


def _operating_point(names, swept, sweeps):
    """An operating point's variables: a value per signal (per sweep), no axis."""
    def point(values):
        return values[0] if len(values) else np.nan  # a sweep cut short has none
    if not swept:
        return {n: ((), point(sweeps[0].values[n])) for n in names}
    return {n: (("sweep",), np.array([point(s.values[n]) for s in sweeps])) for n in names}


def _along_axis(names, swept, sweeps, independent, coords, axis_attrs):
    """The variables over the independent variable, and its coordinates;
    whether any sweep was padded."""
    own_times = bool(sweeps) and sweeps[0].independent is None
    variables, padded = {}, False
    # The signals sharing one set of independent values, with their dimension.
    groups = ([(f"{independent}_{n}", [n]) for n in names] if own_times
              else [(independent, names)] if names else [])
    for dim, members in groups:
        axes = [s.axes[members[0]] for s in sweeps]
        if not swept:
            coords[dim] = (dim, axes[0], axis_attrs)
            for n in members:
                variables[n] = ((dim,), sweeps[0].values[n])
            continue
        width = max(len(a) for a in axes)
        shared = all(len(a) == width and np.array_equal(a, axes[0]) for a in axes)
        if shared:
            coords[dim] = (dim, axes[0], axis_attrs)
            dims = ("sweep", dim)
        else:
            dims = ("sweep", f"{dim}_index")
            coords[dim] = (dims, _padded(axes, width, axes[0].dtype), axis_attrs)
        for n in members:
            # One signal at a time, releasing its sweeps' arrays once stacked.
            parts = [s.values.pop(n) for s in sweeps]
            padded = padded or any(len(p) < width for p in parts)
            variables[n] = (dims, _padded(parts, width, parts[0].dtype))
            del parts
    return variables, padded


def to_xarray(wf, sweeps):
    """See Waveform.to_xarray."""
    xr = _need("xarray", "python3-xarray", "to_xarray")
    names, swept, _ = _layout(wf, sweeps)
    types, coords, padded = wf.signal_types, {}, False
    independent, axis_attrs = axis(wf)
    if wf.analysis == "operating point" and sweeps:
        variables = _operating_point(names, swept, sweeps)
    else:
        variables, padded = _along_axis(names, swept, sweeps, independent, coords, axis_attrs)
    if swept:
        coords.update(_sweep_coordinates(wf, sweeps))
    ds = xr.Dataset({n: xr.Variable(dims, data, _attrs(n, types[n]))
                     for n, (dims, data) in variables.items()}, coords=coords)
    ds.attrs = {"title": wf.title, "date": wf.date, "format": wf.format_name,
                "version": wf.version, "path": str(wf.path)}
    if wf.analysis is not None:
        ds.attrs["analysis"] = str(wf.analysis)
    if wf.plot is not None:
        ds.attrs["plot"] = wf.plot
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
        index = [np.full(len(frame), number)] + [np.full(len(frame), k) for k in keys]
        frame.index = pd.MultiIndex.from_arrays(index + [frame.index.to_numpy()],
                                                names=levels + [independent])
        parts.append(frame)
    return pd.concat(parts)
