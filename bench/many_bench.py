"""Many runs against one process doing the same work in a serial loop, each
figure printed as a ratio to that loop, measured in the same run (the goal
on two cores in brackets):
  1. open_many(...).mean("run").compute() of 3 of 50 signals on Dask's
     threaded scheduler, against a loop of selective read() calls summing
     them: 200 runs of 4 MB and 20 runs of 100 MB, cached (1.5, 1.8; with
     the processor time each spends) and from the disk (1.0); the small
     cached runs also on a LocalCluster of two worker processes;
  2. wavtrex-batch convert --workers 2 of the first 50 small runs (its
     start included), against a shell loop of wavtrex, with the cores the
     loop keeps busy (the converter has threads of its own): into a tmpfs
     (1.6) and onto the disk, there beside dd writing as many bytes (both
     followed by a sync of the file system; goal: at least 1/1.2 of dd's
     speed);
  3. Dask's own cost per task, threaded and on the LocalCluster.
The runs are made by bench/make_runs. Prints figures; never fails on speed.
  usage: many_bench.py BUILD
"""
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time

SMALL, LARGE, CONVERTED = (200, 20000), (20, 500000), 50  # (runs, points) of 50 signals


def evict(paths):
    """Drops the files' pages from the page cache, so the next read comes
    from the disk (after a sync: dirty pages stay)."""
    subprocess.run(["sync"])
    for path in paths:
        fd = os.open(path, os.O_RDONLY)
        os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
        os.close(fd)


def timed(what, repeats=1):
    """The shortest of repeats runs of what(), in seconds."""
    best = None
    for _ in range(repeats):
        start = time.perf_counter()
        what()
        took = time.perf_counter() - start
        best = took if best is None else min(best, took)
    return best


def cpu(what, repeats=3):
    """The least processor time (this process's threads) of repeats runs of what()."""
    def used():
        own = resource.getrusage(resource.RUSAGE_SELF)
        return own.ru_utime + own.ru_stime
    best = None
    for _ in range(repeats):
        start = used()
        what()
        took = used() - start
        best = took if best is None else min(best, took)
    return best


def ratio(what, loop, other, goal=None, extra=""):
    wanted = f" (goal {goal})" if goal else ""
    print(f"  {what:<44} loop {loop:7.3f} s, Dask {other:7.3f} s: ratio {loop / other:5.2f}"
          f"{wanted}{extra}")


def make_runs(build, folder, runs, points):
    os.makedirs(folder)
    subprocess.run([os.path.join(build, "bench", "make_runs"), folder, str(runs), "50",
                    str(points)], check=True)
    return sorted(os.path.join(folder, f) for f in os.listdir(folder))


def bench_open_many(paths, label, goals, client):
    """open_many against a loop of read(), cached and from the disk."""
    import numpy as np
    import wavtrex
    chosen = ["v0", "v25", "v49"]

    def loop():
        sums = {}
        for path in paths:
            sweep = wavtrex.read(path, chosen)[0]
            for name in chosen:
                sums[name] = sums.get(name, 0) + sweep[name].astype(np.float64)
        return sums

    def many(on=None):
        ds = wavtrex.open_many(paths, chosen, client=on)
        return ds.mean("run").compute(scheduler=on or "threads")

    expected, got = loop(), many()
    if not all(np.allclose(got[n].values, expected[n] / len(paths), rtol=1e-5) for n in chosen):
        print("  open_many: VALUES DIFFER from the loop's")
    # Processor time too: what a busy machine's wall times hide.
    ratio(f"{label}, cached", timed(loop, 3), timed(many, 3), goals[0],
          f"; processor time {cpu(many) / cpu(loop):.2f} x the loop's")
    cold = []
    for what in (loop, many):
        evict(paths)
        cold.append(timed(what))
    ratio(f"{label}, from the disk", *cold, goals[1])
    if client is not None:
        many(client)
        ratio(f"{label}, cached, LocalCluster of 2", timed(loop, 3), timed(lambda: many(client), 3))


def children():
    """The processor time of this process's finished children."""
    used = resource.getrusage(resource.RUSAGE_CHILDREN)
    return used.ru_utime + used.ru_stime


def convert_pair(build, paths, output):
    """(shell loop, wavtrex-batch) seconds converting paths into output,
    each followed by a sync of output's file system; the bytes written;
    the loop's processor time over its wall time."""
    converter = os.path.abspath(os.path.join(build, "wavtrex"))
    serial = tempfile.mkdtemp(dir=output)
    script = 'for f in "$@"; do "$0" "$f" >/dev/null 2>&1 || exit 1; done; sync -f .'
    before = children()
    loop = timed(lambda: subprocess.run(["sh", "-c", script, converter, *paths], cwd=serial,
                                        check=True))
    cores = (children() - before) / loop
    written = sum(os.path.getsize(os.path.join(r, f))
                  for r, _, files in os.walk(serial) for f in files)
    shutil.rmtree(serial)
    env = {**os.environ, "PYTHONPATH": os.path.abspath(os.path.join(build, "python"))}
    batch = os.path.join(output, "batch")
    command = [sys.executable, "-m", "wavtrex.batch", "convert", "--workers", "2",
               "--converter", converter, "--output", batch, *paths]
    seconds = timed(lambda: subprocess.run(command, env=env, check=True, capture_output=True) and
                    subprocess.run(["sync", "-f", output]))
    shutil.rmtree(batch)
    return loop, seconds, written, cores


def bench_convert(build, paths, disk):
    """wavtrex-batch convert into a tmpfs and onto the disk, beside dd."""
    if os.path.isdir("/dev/shm"):
        shm = tempfile.mkdtemp(prefix="many-bench-", dir="/dev/shm")
        try:
            loop, batch, _, cores = convert_pair(build, paths, shm)
        finally:
            shutil.rmtree(shm)
        ratio(f"convert {len(paths)} runs into a tmpfs", loop, batch, 1.6,
              f"; the loop keeps {cores:.2f} cores busy")
    loop, batch, written, cores = convert_pair(build, paths, disk)
    ratio(f"convert {len(paths)} runs onto the disk", loop, batch, None,
          f"; the loop keeps {cores:.2f} cores busy")
    target = os.path.join(disk, "dd")
    dd = timed(lambda: subprocess.run(["dd", "if=/dev/zero", f"of={target}", "bs=1M",
                                       f"count={written >> 20}", "conv=fsync"],
                                      check=True, capture_output=True))
    os.remove(target)
    print(f"  {'  dd of the same ' + str(written >> 20) + ' MB':<44} {dd:7.3f} s: "
          f"wavtrex-batch at {dd / batch:.2f} of dd's speed (goal 0.83)")


def bench_tasks(client):
    """Dask's cost per task: many tasks doing nothing."""
    import dask
    count = 2000
    threaded = timed(lambda: dask.compute(*[dask.delayed(abs)(i) for i in range(count)],
                                          scheduler="threads"), 3)
    local = timed(lambda: client.gather(client.map(abs, range(count), pure=False)), 3)
    print(f"  Dask's cost per task: threaded {threaded / count * 1e3:.3f} ms, "
          f"LocalCluster of 2 {local / count * 1e3:.3f} ms")


def main():
    build = os.path.abspath(sys.argv[1])
    sys.path.insert(0, os.path.join(build, "python"))
    try:
        from distributed import Client, LocalCluster
        import wavtrex  # noqa: F401
    except ImportError as error:
        print(f"many_bench: skipped ({error}; needs the Python module and python3-dask, "
              "python3-distributed, python3-xarray)")
        return 0
    folder = tempfile.mkdtemp(prefix="many-bench-", dir=build)
    try:
        print("many_bench: runs of 50 signals, ratios to a serial loop")
        with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                          dashboard_address=":0") as cluster, \
                Client(cluster, set_as_default=False) as client:
            small = make_runs(build, os.path.join(folder, "small"), *SMALL)
            bench_open_many(small, f"open_many, {SMALL[0]} runs of 4 MB", (1.5, 1.0), client)
            bench_convert(build, small[:CONVERTED], folder)
            bench_tasks(client)
            shutil.rmtree(os.path.join(folder, "small"))
            large = make_runs(build, os.path.join(folder, "large"), *LARGE)
            bench_open_many(large, f"open_many, {LARGE[0]} runs of 100 MB", (1.8, 1.0), None)
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
