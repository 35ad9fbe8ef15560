"""Circuit-simulation waveform files as NumPy arrays, xarray Datasets and
pandas DataFrames.

Reads HSPICE post files of every version (text, binary in either byte
order, byte-framed), CSDF files and the framed event and tagged record formats,
any of them gzip-compressed, with the reader of the wavtrex converter.

    ds = wavtrex.to_xarray("run.tr0")            # every signal, as an xarray.Dataset
    sweeps = wavtrex.read("run.tr0", ["v(out)"])  # a list of Sweep, NumPy arrays
    with wavtrex.open("run.tr0") as wf:
        print(wf.find("v(out*"))                  # stored names a pattern matches
        df = wf.to_pandas(["v(out)"])

Signal names are forgiving wherever signals are selected: a name matches
exactly, or else ignoring case, or else without its closing parentheses, or
as a shell-style wildcard, and is taken when it names exactly one signal.
"""
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
from ._core import Error, SignalType, Sweep  # noqa: E402

__version__ = _core.__version__
__all__ = ["Error", "SignalType", "Sweep", "Waveform", "open", "read", "to_xarray", "to_pandas"]

Path = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
Signals = Optional[Union[str, Iterable[str]]]


def _bare(name: str) -> str:
    return name.casefold().rstrip(")")


class Waveform(_core.Waveform):
    """An opened waveform file; open() makes one.

    The header is read at open and stays readable after close. A Waveform is
    a context manager that closes itself. Besides the reader's read() and
    stream() it converts to an xarray.Dataset (to_xarray) and a
    pandas.DataFrame (to_pandas), and finds signals by forgiving names (find).
    """

    def __init__(self, path: Optional[Path], format: Optional[Union[int, str]] = None) -> None:
        super().__init__(path, format)
        self.path = "-" if path is None else os.fspath(path)

    def find(self, pattern: str) -> List[str]:
        """The stored signal names that pattern matches, in file order: exactly,
        ignoring case, ignoring closing parentheses ("v(out)" finds a stored
        "v(out"), or as a shell-style wildcard ("v(out*"), also ignoring case."""
        folded, bare = pattern.casefold(), _bare(pattern)
        wild = any(c in pattern for c in "*?[")
        return list(dict.fromkeys(
            name for name in self.signals
            if name == pattern or name.casefold() == folded or _bare(name) == bare
            or (wild and fnmatch.fnmatchcase(name.casefold(), folded))))

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

    def read(self, signals: Signals = None) -> List[Sweep]:
        """Reads the values.

        Returns a list with one Sweep per sweep. signals, a name or a list of
        names (forgiving, see find), keeps only those signals (KeyError for a
        name that names no signal, or several): only they are decoded and held,
        the others are skipped in the file. Real values are the reader's own
        arrays (no copy); complex values are copied once, since the reader
        keeps real and imaginary parts apart and complex64 interleaves them.
        The GIL is released while the file is read. Raises wavtrex.Error when
        the reader fails, ValueError after close."""
        return super().read(self._resolve(signals))

    def stream(self, callback: Callable[[Sweep], Optional[bool]], signals: Signals = None,
               rows: int = 65536) -> bool:
        """Reads the values a piece at a time.

        Calls callback(sweep) for every piece of at most rows rows, in file
        order, with a Sweep as read() gives for the piece's rows (copies:
        memory holds about one piece whatever the size of the file). signals
        is as for read(). callback returning False ends the read there; an
        exception it raises ends the read and is raised again. Returns True
        when the whole file was read. rows is cut to what the file's size
        could hold. Only one-table HSPICE post files stream (see streamable);
        ValueError for others, after close, and from the callback (which
        cannot read, stream or close the waveform it is called for). The GIL
        is released between pieces."""
        return super().stream(callback, self._resolve(signals), rows)

    def to_xarray(self, signals: Signals = None):
        """The values as an xarray.Dataset: one data variable per signal.

        The independent variable is a dimension (named after it) with its
        values as coordinate; swept files add a "sweep" dimension with one
        coordinate per sweep parameter. Signals with their own times (framed
        event, tagged record) get a dimension each, "<independent>_<signal>".
        When the sweeps differ in their independent values, that dimension
        becomes "<independent>_index" and the independent values a
        (sweep, index) coordinate; shorter sweeps are padded with NaN, and
        the Dataset's "padding" attribute says so. Real values of an unswept
        file are the arrays read, not copies; swept ones are stacked one
        signal at a time. Attributes: title, date, analysis, format, version
        and path; each signal's kind and type_code. Needs xarray
        (python3-xarray)."""
        from ._frames import to_xarray
        return to_xarray(self, self.read(signals))

    def to_pandas(self, signals: Signals = None):
        """The values as a pandas.DataFrame, one column per signal, indexed by
        the independent variable; swept files get a MultiIndex of the sweep
        number ("sweep"), the sweep parameters and the independent variable,
        every sweep with its own rows. Signals with their own times share the union
        of their times, NaN where a signal has no point (of several points at
        one time, the last). Needs pandas (python3-pandas)."""
        from ._frames import to_pandas
        return to_pandas(self, self.read(signals))

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


def open(path: Optional[Path], format: Optional[Union[int, str]] = None) -> Waveform:
    """Opens a waveform file and reads its header.

    path is a str, bytes or path-like object; None or '-' reads standard
    input to its end (a pipe too; the reader keeps a temporary copy). format,
    a code or a name (see Waveform.format and format_name), skips detection;
    a measurement table (4, 'measurement table') opens only this way, and its
    header is all it has. The GIL is released while the header is read.
    Raises FileNotFoundError for a missing file, wavtrex.Error for a file the
    reader refuses (status 5 for a FIFO, device or socket, which could block
    or never end) and TypeError for a format that is neither str nor int."""
    return Waveform(path, format)


def read(path: Path, signals: Signals = None) -> List[Sweep]:
    """open(path).read(signals), closing the file again."""
    with open(path) as wf:
        return wf.read(signals)


def to_xarray(path: Path, signals: Signals = None):
    """open(path).to_xarray(signals), closing the file again."""
    with open(path) as wf:
        return wf.to_xarray(signals)


def to_pandas(path: Path, signals: Signals = None):
    """open(path).to_pandas(signals), closing the file again."""
    with open(path) as wf:
        return wf.to_pandas(signals)
from .many import open_many, progress  # noqa: E402,F401  (many runs over Dask)
