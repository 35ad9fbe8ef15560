"""The package layer: every seed corpus file as an xarray Dataset and a pandas
DataFrame holding exactly the values read, forgiving signal names, and the
optional libraries' absence."""
import glob
import os
import subprocess
import sys

import numpy as np
import pandas as pd
import pytest

import wavtrex
from test_wavtrex import PLOTS
from wave_files import csdf, write_raw

CORPUS = os.environ["WAVTREX_CORPUS"]
FILES = sorted(glob.glob(os.path.join(CORPUS, "[ocft]*", "*")))


@pytest.fixture
def uneven(tmp_path):
    """Two sweeps of different lengths and times; names to be forgiven."""
    return csdf(tmp_path / "uneven.csdf", [[0, 1e-9], [5e-10]],
                [[[1, 4], [7]], [[2, 5], [8]], [[3, 6], [9]]], names=["v(out", "V(in)", "v(out2)"])


@pytest.mark.parametrize("path", FILES, ids=lambda f: os.path.relpath(f, CORPUS))
def test_frames_hold_the_values_read(path):
    with wavtrex.open(path) as wf:
        sweeps, params, types = wf.read(), wf.sweep_parameters, wf.signal_types
        df = wf.to_pandas()
    ds = wavtrex.to_xarray(path)
    swept = bool(params) or len(sweeps) > 1
    assert (ds.attrs["format"], ds.attrs["title"]) == (wf.format_name, wf.title)
    for name in dict.fromkeys(wf.signals):
        var = ds[name]
        assert var.dtype == sweeps[0][name].dtype
        t = types[name]
        assert var.attrs == {"units": t.units, "long_name": name, "kind": t.quantity,
                             "type": t.value_type}
        times = ds[var.dims[-1].removesuffix("_index")]
        if not swept and var.dtype.kind == "f":  # the reader's own array, no copy
            assert type(var.values.base).__name__ == "PyCapsule"
        for s, sweep in enumerate(sweeps):
            n = len(sweep[name])
            values = var.values[s] if swept else var.values
            np.testing.assert_array_equal(values[:n], sweep[name])
            assert np.isnan(values[n:]).all()
            np.testing.assert_array_equal((times.values[s] if times.ndim == 2 else times)[:n],
                                          sweep.axes[name])
            keys = (s, *(sweep.sweep_values if params else ()))
            for k, param in enumerate(params):
                assert ds[param].values[s] == sweep.sweep_values[k]
            column = (df.xs(keys, level=list(range(len(keys)))) if swept else df)[name]
            assert column.dtype == sweep[name].dtype
            if sweep.independent is not None:
                np.testing.assert_array_equal(column.index, sweep.independent)
                np.testing.assert_array_equal(column, sweep[name])
            else:  # the union of every signal's times
                own = pd.Series(sweep[name], index=sweep.axes[name])
                own = own[~own.index.duplicated(keep="last")].sort_index()
                pd.testing.assert_series_equal(column.dropna(), own, check_names=False)


def test_uneven_sweeps_pad_with_nan(uneven):
    ds = wavtrex.to_xarray(uneven)
    assert ds["v(out"].dims == ("sweep", "time_index") and "padding" in ds.attrs
    np.testing.assert_array_equal(ds["time"], [[0, 1e-9], [5e-10, np.nan]])  # float64 as written
    np.testing.assert_array_equal(ds["V(in)"], [[2, 5], [8, np.nan]])
    df = wavtrex.to_pandas(uneven)
    assert df.index.names == ["sweep", "OUTERSWEEP", "TIME"] and list(df["v(out2)"]) == [3, 6, 9]


V, A, S = ({"units": u, "type": "real", "kind": k} for u, k in
           (("V", "voltage"), ("A", "current"), ("s", "time")))


@pytest.mark.parametrize("source,plot,name,dims,attrs", [
    ("raw", 0, "i(v1)", (), {**A, "long_name": "i(v1)"}),  # an operating point: no axis
    ("raw", 1, "v(out)", ("frequency",), {**V, "long_name": "v(out)", "type": "complex"}),
    ("raw", 1, "frequency", ("frequency",), {"units": "Hz", "kind": "frequency", "type": "real",
                                             "long_name": "frequency", "file_name": "frequency"}),
    ("raw", 2, "time", ("time",), {**S, "long_name": "time", "file_name": "time"}),
    ("uneven", None, "time", ("sweep", "time_index"), {**S, "long_name": "TIME",
                                                       "file_name": "TIME"}),
    ("uneven", None, "OUTERSWEEP", ("sweep",), {"units": "", "long_name": "OUTERSWEEP",
                                                "kind": "sweep parameter", "type": "real"}),
    ("dc", None, "v1", ("v1",), {"units": "", "kind": "swept source", "type": "real",
                                 "long_name": "V1", "file_name": "V1"}),
    ("dc", None, "i(v1)", ("v1",), {**A, "long_name": "i(v1)"}),
])
def test_units_and_names_line_up(tmp_path, uneven, source, plot, name, dims, attrs):
    if source == "raw":
        path = write_raw(tmp_path / "three.raw", PLOTS)
    elif source == "dc":
        path = os.path.join(os.path.dirname(__file__), "dc.csdf")  # a DC sweep of V1
    ds = wavtrex.to_xarray(uneven if source == "uneven" else path, plot=plot)
    assert (ds[name].dims, ds[name].attrs) == (dims, attrs)


@pytest.mark.parametrize("pattern,found,chosen", [
    ("V(OUT)", ["v(out"], "v(out"),               # closing parenthesis missing
    ("v(out2", ["v(out2)"], "v(out2)"),           # or added
    ("v(out?)", ["v(out2)"], "v(out2)"),          # a wildcard with one match
    ("v(out*", ["v(out", "v(out2)"], "several"),  # and with two, in file order
])
def test_find_and_forgiving_names(uneven, pattern, found, chosen):
    with wavtrex.open(uneven) as wf:
        assert wf.find(pattern) == found
        if len(found) == 1:
            assert list(wf.read(pattern)[0].values) == [chosen]
            assert list(wf.to_xarray([pattern]).data_vars) == [chosen]
        else:
            with pytest.raises(KeyError, match=chosen.replace("(", r"\(")):
                wavtrex.read(uneven, [pattern])


@pytest.mark.parametrize("hidden,call,message", [
    ("xarray", "to_xarray", "apt-get install python3-xarray"),
    ("pandas", "to_pandas", "apt-get install python3-pandas"),
    ("numpy", None, f"wavtrex was built for {sys.executable}"),
])
def test_missing_modules_name_what_to_install(hidden, call, message):
    code = f"import sys; sys.modules[{hidden!r}] = None; import wavtrex\n"
    code += f"wavtrex.{call}({FILES[0]!r})" if call else ""
    run = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert "ImportError: " in run.stderr and message in run.stderr.replace("\n", " ")


def test_reprs_say_what_they_hold(uneven):
    wf = wavtrex.open(uneven)
    assert repr(wf) == (f"<wavtrex.Waveform {uneven!r}: csdf, text, transient, 3 signals "
                        "over TIME, 2 sweeps of OUTERSWEEP>")
    assert repr(wf.read()[1]) == ("<wavtrex.Sweep at [0.0]: 3 signals (v(out, V(in), "
                                  "v(out2)), 1 points>")
    assert repr(wf.signal_types["V(in)"]) == "SignalType(kind=0, type_code=1)"
