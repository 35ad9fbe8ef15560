"""The wavtrex module against the converter: every file of the fuzz seed corpus
(all formats, versions, byte orders, framings, gzip, sweeps, AC) must read into
exactly the values the converter writes to its curve files."""
import concurrent.futures
import glob
import os
import subprocess

import numpy as np
import pytest

import wavtrex
from wave_files import csdf, write_post, write_raw

CORPUS = os.environ["WAVTREX_CORPUS"]
# open holds the post files whole (post's seeds start with a mode byte);
# measure tables hold no values. The converter reads no SPICE raw or CSDF
# dialect file: those are checked against the values recorded only.
FILES = sorted(f for d in ("open", "csdf", "framed_event", "tagged_record")
               for f in glob.glob(os.path.join(CORPUS, d, "*")))
SPICE_FILES = sorted(glob.glob(os.path.join(CORPUS, "spice_raw", "*")) +
                     glob.glob(os.path.join(CORPUS, "csdf_dialect", "*")))


def curve_lines(sweeps, name):
    """The sample lines of name's curve file, as the converter writes them."""
    axes, values = [s.axes[name] for s in sweeps], [s[name].real for s in sweeps]
    return [f"{float(x[p]):.12g} {float(y[p]):.12g}"
            for p in range(max(len(v) for v in values)) for x, y in zip(axes, values)
            if p < len(y) and not (p > 0 and x[p] == x[p - 1])]


@pytest.fixture(scope="module")
def long_csdf(tmp_path_factory):
    """More curve text than the converter's write buffer holds."""
    p = np.arange(70000)
    return csdf(tmp_path_factory.mktemp("long") / "long.csdf", p * 1e-9, [[p % 977 / 7], [-p]])


@pytest.mark.parametrize("path", FILES + ["long"],
                         ids=lambda f: os.path.relpath(f, CORPUS) if f in FILES else f)
def test_values_match_converter(path, tmp_path, request):
    if path == "long":
        path = request.getfixturevalue("long_csdf")
    with wavtrex.open(path) as wf:  # as floats, as the converter reads them
        sweeps, names = wf.read(dtype=np.float32), wf.signals
    assert len(sweeps) == wf.sweep_count
    subprocess.run([os.environ["WAVTREX_BINARY"], path], cwd=tmp_path, check=True,
                   capture_output=True)
    out = tmp_path / os.path.splitext(os.path.basename(path))[0]
    assert (out / "wavtrex.curlist").read_text().splitlines() == names
    for name in names:
        assert all(s[name].dtype in (np.float32, np.complex64) for s in sweeps)
        assert all(s.axes[name].dtype == np.float32 for s in sweeps)
        lines = (out / f"{name.strip()}.cur").read_text().splitlines()
        assert lines[5:-1] == curve_lines(sweeps, name), name
    # Selection keeps the asked-for signals only, with the same values.
    chosen = [names[-1], names[0]]
    for full, part in zip(sweeps, wavtrex.open(path).read(signals=chosen, dtype=np.float32)):
        assert sorted(part.values) == sorted(chosen)
        for name in chosen:
            np.testing.assert_array_equal(part[name], full[name])
            np.testing.assert_array_equal(part.axes[name], full.axes[name])
    # A streamed read, three rows a piece, joins up to the whole read.
    with wavtrex.open(path) as wf:
        if wf.streamable:
            pieces = []
            assert wf.stream(pieces.append, signals=chosen, rows=3)
            for name in chosen + [None]:
                joined = [p.independent if name is None else p[name] for p in pieces]
                whole = sweeps[0].independent if name is None else sweeps[0][name]
                np.testing.assert_array_equal(np.concatenate(joined or [whole[:0]]), whole)


def test_stream_stops_raises_and_refuses():
    """A callback ends a stream by returning False or raising (it cannot close
    the waveform it is called from: test_safety); other formats do not stream."""
    path = next(f for f in FILES if wavtrex.open(f).streamable and
                len(wavtrex.open(f).read()[0].independent) > 1)
    with wavtrex.open(path) as wf:
        seen = []
        assert wf.stream(lambda piece: seen.append(piece) or False, rows=1) is False
        assert len(seen) == 1
        with pytest.raises(ZeroDivisionError):
            wf.stream(lambda piece: 1 / 0)
    for closed_or_other in (wf, wavtrex.open(next(f for f in FILES if "/csdf/" in f))):
        with pytest.raises(ValueError):
            closed_or_other.stream(print)


def values_text(path):
    """Every value read from path: a line per sweep and signal, of "time=value" pairs."""
    with wavtrex.open(path) as wf:
        return "".join(
            f"{os.path.relpath(path, CORPUS)} {s}" +
            "".join(f" {p:.9g}" for p in (() if sweep.sweep_values is None else sweep.sweep_values)) +
            f" {name}:" + "".join(f" {x:.9g}={y:.9g}" for x, y in zip(sweep.axes[name], sweep[name])) +
            "\n" for s, sweep in enumerate(wf.read(dtype=np.float32)) for name in wf.signals)


def test_corpus_reads_into_the_values_written():
    """The writers' values, as recorded in corpus_values.txt (WAVTREX_UPDATE=1 rewrites it)."""
    got = "".join(values_text(p) for p in FILES + SPICE_FILES)
    known = os.path.join(os.path.dirname(__file__), "corpus_values.txt")
    if os.environ.get("WAVTREX_UPDATE"):
        with open(known, "w") as f:
            f.write(got)
    with open(known) as f:
        assert got.splitlines() == f.read().splitlines()


def test_complex_sweeps_and_header():
    """Real and imaginary parts pair up, per sweep, and the header reads back."""
    path = os.path.join(os.path.dirname(__file__), "ac.csdf")  # two sweeps, Latin-1
    b = "v(\udcb5)"  # a name that is no UTF-8 reads back and selects all the same
    with wavtrex.open(path) as wf:
        assert (wf.format_name, wf.title, wf.date, wf.analysis, wf.binary, wf.independent,
                wf.signals, wf.sweep_count) == (
            "csdf", "ac run", "today", "AC", False, "HERTZ", ["v(a)", b], 2)
        assert wf.signal_types["v(a)"].kind == 10
        first, second = wf.read()
        assert list(wf.read(signals=b)[1]) == [b]
    np.testing.assert_array_equal(second[b], [4 + 0.5j, 4 + 0.25j])
    assert first["v(a)"].dtype == np.complex128 and first.sweep_values is not None


@pytest.mark.parametrize("content,fmt,exception,status,message", [
    (None, None, FileNotFoundError, None, None),  # content None: no file
    ("folder", None, wavtrex.Error, 5, "Error:  Open file {} failed !! Is a directory."),
    (b"", None, wavtrex.Error, 3, "Error:  Open file {} failed !!"),
    (b"plain words\n", None, wavtrex.Error, 7, "Error:  Unknown file format!!"),
    (b"plain words\n", 3, wavtrex.Error, 7, "Error: Unknown data format 3 !!"),
    (b"plain words\n", "no such format", ValueError, None, None),
    (b"x" * 300, 9, wavtrex.Error, 2, "Syntax error near line 0 in file {} !!"),
    (b"END\n", None, wavtrex.Error, 2, "end text: no reader for this format"),
    # Arguments of the wrong type or range, on a good post file.
    ("post", 1.5, TypeError, None, None),
    ("post", b"post 9601", TypeError, None, None),
    ("post", lambda p: wavtrex.open(7), TypeError, None, None),
    ("post", lambda p: wavtrex.open(p).read(signals=[1]), TypeError, None, None),
    ("post", lambda p: wavtrex.open(p).read(signals=1), TypeError, None, None),
    ("post", lambda p: wavtrex.open(p).stream("print"), TypeError, None, None),
    ("post", lambda p: wavtrex.open(p).stream(print, rows=1.5), TypeError, None, None),
    ("post", lambda p: wavtrex.open(p).stream(print, rows="2"), TypeError, None, None),
    ("post", lambda p: wavtrex.open(p).stream(print, rows=0), ValueError, None, None),
    ("post", lambda p: wavtrex.open(p).stream(print, rows=-2**70), ValueError, None, None),
    ("post", lambda p: wavtrex.open(p).read(signals=["no such signal"]), KeyError, None, None),
    # The header outlives close; the values do not.
    ("post", lambda p: (wf := wavtrex.open(p)).close() or wf.signals and wf.read(), ValueError,
     None, None),
])
def test_open_errors(tmp_path, content, fmt, exception, status, message):
    """fmt is the format open is given, or a call to make with the path."""
    path = tmp_path / "w.tr0"
    if content == "folder":
        path.mkdir()
    elif content == "post":
        write_post(path, 2, 3)
    elif content is not None:
        path.write_bytes(content)
    with pytest.raises(exception) as raised:
        fmt(str(path)) if callable(fmt) else wavtrex.open(str(path), format=fmt)
    if status is not None:
        assert isinstance(raised.value, OSError)
        assert (raised.value.status, raised.value.errno, raised.value.filename) == (
            status, status, str(path))
    if message is not None:
        assert str(raised.value) == f"{path}: {message.format(path)}"


def test_a_measurement_table_has_no_values():
    table = glob.glob(os.path.join(CORPUS, "measure_table", "*"))[0]
    wf = wavtrex.open(table, format="measurement table")
    assert (wf.format, wf.analysis) == (4, "measurement table")
    with pytest.raises(wavtrex.Error, match="^.*: measurement table: this format has a header only$"):
        wf.read()


@pytest.mark.parametrize("cut,complete,ending", [
    (0, True, "complete"),
    # Cut after the first data block, before its closing word: the row's last
    # value lies at the block's end and is lost with the word. Text files
    # that end early, through the same words, are the info golden run's.
    (5648, False, "last row cut short, 1 missing"),
])
def test_files_that_end_early(tmp_path, cut, complete, ending):
    path = tmp_path / "w.tr0"
    write_post(path, 3, 600)  # 250 rows to a data block
    data = path.read_bytes()
    path.write_bytes(data[:len(data) - cut])
    wf = wavtrex.open(str(path))
    assert wf.complete is None
    wf.read()
    assert (wf.complete, wf.ending) == (complete, ending)


def outcome(path):
    try:
        return values_text(path)
    except OSError as e:
        return (e.errno, e.strerror)


def test_threads_read_files_at_once(tmp_path, long_csdf):
    """Results and messages do not depend on what other threads read: text
    files through the token reader, binary ones through the block layer, and
    refused ones each with their own message."""
    (tmp_path / "words").write_bytes(b"plain words\n")
    (tmp_path / "empty").write_bytes(b"")
    paths = 20 * ([str(tmp_path / "words"), str(tmp_path / "empty"), long_csdf] + FILES)
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        assert list(pool.map(outcome, paths)) == [outcome(p) for p in paths]


def test_memory_is_the_float_data(tmp_path):
    """A read holds the file's floats once: no copy, no widening, no growth slack."""
    def resident_bytes():
        with open("/proc/self/statm") as f:
            return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")
    path = tmp_path / "large.tr0"
    write_post(path, 50, 100000)
    before = resident_bytes()
    sweep = wavtrex.open(path).read()[0]
    data = sum(v.nbytes for v in sweep.values.values()) + sweep.independent.nbytes
    assert data == 51 * 100000 * 4
    assert resident_bytes() - before < 1.15 * data
    assert not any(v.flags.owndata for v in sweep.values.values())
    del sweep
    assert resident_bytes() - before < 0.15 * data


def test_a_file_named_twice_holds_the_later_curve(tmp_path, long_csdf):
    """The later curve replaces the earlier one, even while that is being written."""
    curves = [("v(a)", "x.cur"), ("v(b)", "./x.cur"), ("v(b)", "b.cur")]
    (tmp_path / "r.tcc").write_text(f'<CurveExtraction FileName="{long_csdf}">\n' + "".join(
        f'<Curve Node="{n}" CurveFileName="{f}"/>\n' for n, f in curves))
    for _ in range(10):
        subprocess.run([os.environ["WAVTREX_BINARY"], "r.tcc"], cwd=tmp_path, check=True)
        assert (tmp_path / "long/x.cur").read_bytes() == (tmp_path / "long/b.cur").read_bytes()


PS = [1e-3 + k * 1e-12 for k in range(100)]  # a float32 tells none of these apart
PLOTS = [
    ("Operating Point", "real", [("v(in)", "voltage"), ("i(v1)", "current")], [[1.5, -2e-3]]),
    ("AC Analysis", "complex", [("frequency", "frequency"), ("v(out)", "voltage")],
     [[1, 1 + 2j], [10, 0.5 - 1j]]),
    ("Transient Analysis", "real", [("time", "time"), ("v(out)", "voltage")],
     [[t, k / 3] for k, t in enumerate(PS)]),
]


@pytest.mark.parametrize("plots,simulator,dtype,values,axis", [
    (PLOTS[2:], "ngspice", None, np.float64, np.float64),
    (PLOTS[2:], "ngspice", np.float32, np.float32, np.float32),
    (PLOTS[2:], "LTspice", None, np.float32, np.float64),  # narrowed in place
    (PLOTS[1:2], "ngspice", np.float32, np.complex64, np.float32),
    ("post", None, None, np.float32, np.float32),
    ("post", None, np.float64, np.float64, np.float64),
])
def test_arrays_keep_the_stored_precision(tmp_path, plots, simulator, dtype, values, axis):
    if plots == "post":
        path, rows = tmp_path / "w.tr0", np.tile(np.arange(3, dtype="f4"), (5, 1))
        write_post(path, 2, 5)
        rows[:, 0] = np.arange(5) * 1e-9
    else:
        path, rows = write_raw(tmp_path / "w.raw", plots, simulator), np.array(plots[0][3])
    with wavtrex.open(path) as wf:
        sweep = wf.read(dtype=dtype)[0]
        if dtype is None:
            assert (wf.dtype, wf.axis_dtype) == (np.dtype(values), axis)
    assert sweep.independent.dtype == axis
    np.testing.assert_array_equal(sweep.independent, rows[:, 0].real.astype(axis))
    for k, name in enumerate(wf.signals, 1):
        assert sweep[name].dtype == values
        np.testing.assert_array_equal(sweep[name], rows[:, k].astype(values))
        assert type(sweep[name].base).__name__ == "PyCapsule" or values == np.complex64
    assert type(sweep.independent.base).__name__ == "PyCapsule"


def test_every_plot_reads(tmp_path):
    """The default is the first plot that is no operating point; plot=N reads any."""
    path = write_raw(tmp_path / "three.raw", PLOTS)
    wf = wavtrex.open(path)
    assert (wf.plot, wf.analysis, wf.plots) == (None, "AC", [
        wavtrex.Plot(0, "Operating Point", "operating point", 2, 1, ()),
        wavtrex.Plot(1, "AC Analysis", "AC", 2, 2, (0,)),
        wavtrex.Plot(2, "Transient Analysis", "transient", 2, 100, ())])
    for plot, (_, _, variables, rows) in enumerate(PLOTS):  # an operating point has no axis
        sweep, names = wavtrex.read(path, plot=plot)[0], [v for v, _ in variables]
        assert list(sweep.values) == names[plot > 0:]
        got = [sweep[n] for n in names[plot > 0:]]
        for values, column in zip(got if plot == 0 else [sweep.independent] + got, np.array(rows).T):
            np.testing.assert_array_equal(values, column)
    with pytest.raises(ValueError, match="three.raw"):
        wavtrex.open(path, plot=3)
