"""Waveform files the tests write: CSDF as text, post 9601 and SPICE raw in binary."""
import numpy as np


def csdf(path, times, columns, names=("v(a)", "v(b)"), sweeps=1, ac=False):
    """A CSDF file: columns[k][s] are signal k's values at times in sweep s.
    times is one list for every sweep, or a list of lists, one per sweep."""
    each = times if isinstance(times[0], (list, tuple)) else [times] * sweeps
    value = (lambda v: f"{v.real:.9g}/{v.imag:.9g}") if ac else (lambda v: f"{v:.9g}")
    text = "".join(
        f"#H \nSOURCE='t' VERSION='1' \nANALYSIS='{'AC' if ac else 'TR'}' \n"
        f"SWEEPVAR='{'HERTZ' if ac else 'TIME'}' \n" + ("COMPLEXVALUES='YES' \n" if ac else "") +
        f"NODES='{len(names)}' \n#N " + " ".join(f"'{n}'" for n in names) + " \n" +
        "".join(f"#C {t:.9g} {len(names)} \n" + " ".join(value(c[s][p]) for c in columns) + " \n"
                for p, t in enumerate(ts)) + "#; \n" for s, ts in enumerate(each))
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(text)
    return str(path)


def write_post(path, signals, points):
    """A binary 9601 post file: little-endian, word-framed, transient node voltages."""
    header = (f"{signals + 1:04d}00000000    9601    " + " " * 160 + "   0" + " " * 76 +
              "       1" * (signals + 1) + "TIME " + "".join(f"v(n{i}) " for i in range(signals)) +
              "$&%#    ").encode()
    rows = np.tile(np.arange(signals + 1, dtype="<f4"), (points, 1))
    rows[:, 0] = np.arange(points) * 1e-9
    data = np.append(rows, np.float32(1e30)).tobytes()  # the end marker closes the table
    with open(path, "wb") as f:
        for block in [header] + [data[k:k + 4000] for k in range(0, len(data), 4000)]:
            f.write(np.array([4, 0, 4, len(block)], "<i4").tobytes() + block +
                    np.int32(len(block)).tobytes())


def write_raw(path, plots, simulator="ngspice"):
    """A binary raw file as ngspice or LTspice (UTF-16 header, float32 values
    beside float64 time) writes it; plots are (name, flags, variables as
    (name, type) pairs, rows of values)."""
    out = b""
    for name, flags, variables, rows in plots:
        head = (f"Title: t\nDate: today\nPlotname: {name}\nFlags: {flags}\nNo. Variables: "
                f"{len(variables)}\nNo. Points: {len(rows)}\nCommand: {simulator}\nVariables:\n" +
                "".join(f"\t{k}\t{v}\t{t}\n" for k, (v, t) in enumerate(variables)) + "Binary:\n")
        if simulator == "LTspice":
            columns = [("t", "<f8")] + [(v, "<f4") for v, _ in variables[1:]]
            data = np.array([tuple(r) for r in rows], dtype=columns).tobytes()
        else:
            data = np.array(rows, "<c16" if "complex" in flags else "<f8").tobytes()
        out += head.encode("utf-16-le" if simulator == "LTspice" else "ascii") + data
    path.write_bytes(out)
    return str(path)
