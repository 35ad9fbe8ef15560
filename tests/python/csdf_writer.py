"""CSDF files written as text, for the package layer's tests."""


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
