"""Circuit-simulation waveform files as NumPy arrays.

Reads HSPICE post files (9007, 9601, 2001, 2013; text, binary in either byte
order, byte-framed), CSDF files and the framed event and tagged record formats,
any of them gzip-compressed, with the reader of the wavtrex converter.

    with wavtrex.open("run.tr0") as wf:
        sweep = wf.read(["v(out)"])[0]
        t, v = sweep.axes["v(out)"], sweep["v(out)"]
"""
import sys


def _load():
    """The compiled half, or an ImportError naming the interpreter it was built
    for: another interpreter of the same version would load it and only fail
    at the first read, for want of NumPy."""
    try:
        import numpy  # noqa: F401  (the extension hands out NumPy arrays)
        from . import _core
        return _core
    except ImportError as error:
        try:
            from ._built_for import EXECUTABLE, VERSION
        except ImportError:
            EXECUTABLE, VERSION = "another interpreter", "?"
        here = f"{sys.executable} (Python {sys.version.split()[0]})"
        raise ImportError(f"wavtrex was built for {EXECUTABLE} (Python {VERSION}) and cannot "
                          f"be loaded by {here}: {error}. Use that interpreter, or build "
                          f"wavtrex for this one (make PYTHON={sys.executable} python, or pip "
                          f"install --no-build-isolation . with it).") from error


_core = _load()
from ._core import Error, SignalType, Sweep, Waveform, open  # noqa: E402

__version__ = _core.__version__
__all__ = ["Error", "SignalType", "Sweep", "Waveform", "open"]
