"""The package's core: the compiled half loaded, and the Waveform over it
with forgiving signal names, open() and the one-call reads. open_many
builds on it, so it is a module of its own that the package and many.py
both import."""
import difflib
import fnmatch
import os
import sys
from typing import Callable, Iterable, List, Optional, Union


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
from ._core import Error, Plot, SignalType, Sweep  # noqa: E402

Path = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
Signals = Optional[Union[str, Iterable[str]]]
Format = Optional[Union[int, str]]


def _bare(name: str) -> str:
    return name.casefold().rstrip(")")


def _node(name: str) -> tuple:
    """(prefix, rest) of a folded name: v(out -> ("v", "out"), out -> ("", "out")."""
    bare = _bare(name)
    return (bare[0], bare[2:]) if bare[:2] in ("v(", "i(") else ("", bare)


def _agree(a: tuple, b: tuple) -> bool:
    """Node forms that agree: one of them written with v( or i(, the other without."""
    return (a[0] == "") != (b[0] == "") and a[1] == b[1]


def _wild(pattern: str, name: str) -> bool:
    """A shell-style wildcard, ignoring case: on the whole name, or on the rests
    of node forms whose starts do not differ (the same, or one without)."""
    if not any(c in pattern for c in "*?["):
        return False
    (start, rest), (stored_start, stored_rest) = _node(pattern), _node(name)
    return fnmatch.fnmatchcase(name.casefold(), pattern.casefold()) or (
        "" in (start, stored_start) or start == stored_start) and fnmatch.fnmatchcase(
            stored_rest, rest)


# The steps of a name's search, first to last; the first that matches decides.
_STEPS = (
    lambda p, s: s == p,
    lambda p, s: s.casefold() == p.casefold(),
    lambda p, s: _bare(s) == _bare(p),
    lambda p, s: _agree(_node(p), _node(s)),
    _wild,
)


class Waveform(_core.Waveform):
    """An opened waveform file; open() makes one.

    The header is read at open and stays readable after close. A Waveform is
    a context manager that closes itself. Besides the reader's read() and
    stream() it converts to an xarray.Dataset (to_xarray) and a
    pandas.DataFrame (to_pandas), and finds signals by forgiving names (find).
    """

    def __init__(self, path: Optional[Path], format: Format = None,
                 plot: Optional[int] = None) -> None:
        super().__init__(path, format, plot)
        self.path = "-" if path is None else os.fspath(path)

    def find(self, pattern: str) -> List[str]:
        """The stored signal names that pattern matches, in file order: the
        first of these steps that matches any signal decides. 1 the same
        name; 2 the same ignoring case; 3 also ignoring closing parentheses
        at the end ("v(out" and "v(out)"); 4 the same node with or without
        its "v(" or "i(" ("v(out)" finds "out", "out" finds "V(out)", never
        "v(" against "i("); 5 a shell-style wildcard ("v(mid*"), ignoring
        case, matched whole or on the rests as step 4 folds them."""
        for step in _STEPS:
            found = [name for name in dict.fromkeys(self.signals) if step(pattern, name)]
            if found:
                return found
        return []

    def _resolve(self, signals: Signals) -> Optional[List[Union[str, bytes]]]:
        """The stored names a selection stands for; KeyError names the closest
        stored names when one of its names matches no signal or several."""
        if signals is None:
            return None
        if isinstance(signals, (str, bytes)):
            signals = [signals]
        stored, chosen = set(self.signals), []
        for name in signals:
            if not isinstance(name, str) or name in stored:  # the reader checks the type
                chosen.append(name)
                continue
            found = self.find(name)
            if len(found) == 1:
                chosen.append(found[0])
                continue
            what = "matches several signals" if found else "is no signal"
            if not found:
                folded = {n.casefold(): n for n in reversed(self.signals)}
                found = [folded[n] for n in difflib.get_close_matches(
                    name.casefold(), list(folded), n=5, cutoff=0.4)]
            closest = ", ".join(repr(n) for n in found) or "none"
            raise KeyError(f"{name!r} {what} of {os.fsdecode(self.path)}; closest: {closest}")
        return chosen

    def read(self, signals: Signals = None, dtype=None) -> List[Sweep]:
        """Reads the values.

        Returns a list with one Sweep per sweep. signals, a name or a list of
        names (forgiving, see find), keeps only those signals (KeyError for a
        name that names no signal, or several): only they are decoded and held,
        the others are skipped in the file. dtype None gives each array as the
        file stores it (self.dtype for values, self.axis_dtype for the
        independent variable), numpy.float32 or numpy.float64 every array so.
        Real values are the reader's own arrays (no copy); complex values are
        copied once, since the reader keeps real and imaginary parts apart and
        NumPy's complex types interleave them. The GIL is released while the
        file is read. Raises wavtrex.Error when the reader fails, ValueError
        after close."""
        return super().read(self._resolve(signals), dtype)

    def stream(self, callback: Callable[[Sweep], Optional[bool]], signals: Signals = None,
               rows: int = 65536) -> bool:
        """Reads the values a piece at a time.

        Calls callback(sweep) for every piece of at most rows rows, in file
        order, with a Sweep as read(dtype=numpy.float32) gives for the piece's
        rows (copies: memory holds about one piece whatever the size of the
        file). signals
        is as for read(). callback returning False ends the read there; an
        exception it raises ends the read and is raised again. Returns True
        when the whole file was read. rows is cut to what the file's size
        could hold. Only one-table HSPICE post files stream (see streamable);
        ValueError for others, after close, and from the callback (which
        cannot read, stream or close the waveform it is called for). The GIL
        is released between pieces."""
        return super().stream(callback, self._resolve(signals), rows)

    def to_xarray(self, signals: Signals = None, dtype=None, plot: Optional[int] = None):
        """The values as an xarray.Dataset: one data variable per signal.

        The independent variable is a dimension with its values as
        coordinate, named by its quantity so that files of different
        simulators line up: "time", "frequency", or for a DC sweep (and an
        analysis the file does not tell) its own name in lower case; the name
        the file gives it is the coordinate's "file_name" attribute. An
        operating point has no such dimension: a value per signal. Swept
        files add a "sweep" dimension with one coordinate per sweep
        parameter. Signals with their own times (framed event, tagged record)
        get a dimension each, "<dimension>_<signal>". When the sweeps differ
        in their independent values, that dimension becomes
        "<dimension>_index" and the independent values a (sweep, index)
        coordinate; shorter sweeps are padded with NaN, and the Dataset's
        "padding" attribute says so. Real values of an unswept file are the
        arrays read, not copies; swept ones are stacked one signal at a time.
        Attributes, CF-style, of every variable and coordinate: units ("V",
        "A", "s", "Hz", or "" when unknown), long_name (the file's name),
        kind (its quantity: "voltage", "current", "time", ...) and type
        ("real" or "complex"); of the Dataset: title, date, analysis, format,
        version and path (and plot when one was chosen). dtype is as for
        read(); plot reads that plot of the file (see plots) instead of the
        one opened. Needs xarray (python3-xarray)."""
        from ._frames import to_xarray
        if plot is not None and plot != self.plot:
            with Waveform(self.path, self.format, plot) as other:
                return other.to_xarray(signals, dtype)
        return to_xarray(self, self.read(signals, dtype))

    def to_pandas(self, signals: Signals = None, dtype=None):
        """The values as a pandas.DataFrame, one column per signal, indexed by
        the independent variable; swept files get a MultiIndex of the sweep
        number ("sweep"), the sweep parameters and the independent variable,
        every sweep with its own rows. Signals with their own times share the union
        of their times, NaN where a signal has no point (of several points at
        one time, the last). dtype is as for read(). Needs pandas
        (python3-pandas)."""
        from ._frames import to_pandas
        return to_pandas(self, self.read(signals, dtype))

    def __repr__(self) -> str:
        mode = "binary" if self.binary else "text"
        sweeps = ""
        if self.sweep_parameters or self.sweep_count > 1:
            over = " of " + ", ".join(self.sweep_parameters) if self.sweep_parameters else ""
            sweeps = f", {self.sweep_count} sweeps{over}"
        analysis = f", {self.analysis}" if self.analysis is not None else ""
        return (f"<wavtrex.Waveform {os.fsdecode(self.path)!r}: {self.format_name}, {mode}"
                f"{analysis}, {len(self.signals)} signals over {self.independent}{sweeps}>")


def _sweep_repr(sweep: Sweep) -> str:
    names = list(sweep.values)
    shown = ", ".join(names[:4]) + (", ..." if len(names) > 4 else "")
    if sweep.independent is not None:
        points = f"{len(sweep.independent)} points"
    else:
        points = f"up to {max((len(a) for a in sweep.axes.values()), default=0)} points each"
    at = "" if sweep.sweep_values is None else f" at {list(map(float, sweep.sweep_values))}"
    return f"<wavtrex.Sweep{at}: {len(names)} signals ({shown}), {points}>"


Sweep.__repr__ = _sweep_repr


def open(path: Optional[Path], format: Format = None, plot: Optional[int] = None) -> Waveform:
    """Opens a waveform file and reads its header.

    path is a str, bytes or path-like object; None or '-' reads standard
    input to its end (a pipe too; the reader keeps a temporary copy). format,
    a code or a name (see Waveform.format and format_name), skips detection;
    a measurement table (4, 'measurement table') opens only this way, and its
    header is all it has. plot, a number from Waveform.plots, reads that plot
    of a SPICE raw or CSDF dialect file (with the plots of the same variables
    as its sweeps) instead of the first that is no operating point; an
    operating point reads as one point per variable. The GIL is released
    while the header is read. Raises FileNotFoundError for a missing file,
    wavtrex.Error for a file the reader refuses (status 5 for a FIFO, device
    or socket, which could block or never end), ValueError for a plot the
    file does not have and TypeError for a format that is neither str nor
    int."""
    return Waveform(path, format, plot)


def read(path: Path, signals: Signals = None, dtype=None, plot: Optional[int] = None
         ) -> List[Sweep]:
    """open(path, plot=plot).read(signals, dtype), closing the file again."""
    with open(path, plot=plot) as wf:
        return wf.read(signals, dtype)


def to_xarray(path: Path, signals: Signals = None, dtype=None, plot: Optional[int] = None):
    """open(path, plot=plot).to_xarray(signals, dtype), closing the file again."""
    with open(path, plot=plot) as wf:
        return wf.to_xarray(signals, dtype)


def to_pandas(path: Path, signals: Signals = None, dtype=None, plot: Optional[int] = None):
    """open(path, plot=plot).to_pandas(signals, dtype), closing the file again."""
    with open(path, plot=plot) as wf:
        return wf.to_pandas(signals, dtype)
