"""Time and peak memory of Waveform.to_xarray() against Waveform.read() on one
file, each in a fresh child process, rounds in turn; prints figures and never
fails on speed.

    python3 frames_bench.py FILE     (wavtrex importable, e.g. PYTHONPATH=build/python)
"""
import statistics
import subprocess
import sys
import time

ROUNDS = 5


def status(field):
    with open("/proc/self/status") as f:
        return next(int(line.split()[1]) * 1024 for line in f if line.startswith(field))


def child(mode, path):
    """Prints seconds, and the peak resident bytes beyond those of the imports."""
    import wavtrex
    import xarray  # noqa: F401  (imported before timing, as a session would have it)
    before = status("VmRSS:")
    start = time.perf_counter()
    with wavtrex.open(path) as wf:
        result = wf.read() if mode == "read" else wf.to_xarray()
    elapsed = time.perf_counter() - start
    print(elapsed, status("VmHWM:") - before, len(result))


def main(path):
    runs = {"read": [], "to_xarray": []}
    for _ in range(ROUNDS):
        for mode, seen in runs.items():
            out = subprocess.run([sys.executable, __file__, "--child", mode, path],
                                 check=True, capture_output=True, text=True).stdout.split()
            seen.append((float(out[0]), int(out[1])))
    import wavtrex
    with wavtrex.open(path) as wf:
        sweep = wf.read(wf.signals[0])[0]  # values and axis as stored: float32 or float64
        points = len(sweep.independent)
        data = sweep.independent.nbytes + len(wf.signals) * sweep[wf.signals[0]].nbytes
    ratios = [x[0] / r[0] for x, r in zip(runs["to_xarray"], runs["read"])]
    read_time = statistics.median(t for t, _ in runs["read"])
    xarray_time = statistics.median(t for t, _ in runs["to_xarray"])
    peak = max(p for _, p in runs["to_xarray"])
    print(f"frames_bench: to_xarray() of {len(wf.signals)} signals x {points} points, "
          f"{ROUNDS} rounds in turn")
    print(f"  read():      {read_time:.3f} s (median), peak "
          f"{max(p for _, p in runs['read']) / 1e6:.1f} MB")
    print(f"  to_xarray(): {xarray_time:.3f} s (median), ratio to read() "
          f"{statistics.median(ratios):.2f} (median of the rounds; target <= 1.1)")
    print(f"  to_xarray() peak {peak / 1e6:.1f} MB; float data {data / 1e6:.1f} MB, ratio "
          f"{peak / data:.2f} (target <= 1.1)")


if __name__ == "__main__":
    if sys.argv[1] == "--child":
        child(sys.argv[2], sys.argv[3])
    else:
        main(sys.argv[1])
