"""Circuit-simulation waveform files as NumPy arrays, xarray Datasets and
pandas DataFrames.

Reads waveform files with the reader of the wavtrex converter, any of them
gzip-compressed; the formats and their codes are listed at the end.

    ds = wavtrex.to_xarray("run.tr0")            # every signal, as an xarray.Dataset
    sweeps = wavtrex.read("run.tr0", ["v(out)"])  # a list of Sweep, NumPy arrays
    with wavtrex.open("run.tr0") as wf:
        print(wf.find("v(out*"))                  # stored names a pattern matches
        df = wf.to_pandas(["v(out)"])

Signal names are forgiving wherever signals are selected: a name matches
exactly, or else ignoring case, or else without its closing parentheses, or
else as the same node with or without its v( or i( ("v(out)" finds a stored
"out"), or else as a shell-style wildcard; it is taken when it names exactly
one signal (Waveform.find has the steps).

Arrays come in the precision the file stores, each on its own: float64 for
doubles (SPICE raw files, HSPICE 2001 values, text values), float32 for floats;
dtype=numpy.float32 asks for less memory. A SPICE raw or CSDF dialect file's
plots are listed by Waveform.plots, and open(path, plot=N) reads any of them.
"""
from ._waveform import (Error, Plot, SignalType, Sweep, Waveform, _core, open, read,
                        to_pandas, to_xarray)
from .many import open_many, progress  # noqa: F401  (many runs over Dask)

__doc__ += (f"\nFormat codes and names (open's format argument; those without a reader are "
            f"recognised and refused with the reason): {_core.FORMAT_NAMES}.\n")
__version__ = _core.__version__
__all__ = ["Error", "Plot", "SignalType", "Sweep", "Waveform", "open", "read", "to_xarray",
           "to_pandas"]
