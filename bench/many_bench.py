"""Many runs on a two-worker LocalCluster against one process doing the same:
  1. open_many(...).mean("run").compute() for 3 signals, against a plain loop
     of selective read() calls summing the same signals;
  2. wavtrex-batch convert, against a serial shell loop of wavtrex;
each as a ratio (goal: 1.7 on two cores), with each worker's peak memory.
The runs are generated (bench/make_runs) and read from the page cache, and
for open_many once more from the disk; the curves are deleted after each
conversion. Prints figures; never fails on speed.
  usage: many_bench.py BUILD [COUNT [SIGNALS [POINTS]]]   (default 200 x 50 x 20000)
"""
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time


def peak():
    """This process's peak resident memory, in MB. (A child's figure would
    start from its parent's size at the fork, so the converter's own is
    convert_bench's to show.)"""
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024


def evict(paths):
    """Drops the files' pages from the page cache, so the next read comes
    from the disk (after a sync: dirty pages stay)."""
    subprocess.run(["sync"])
    for path in paths:
        fd = os.open(path, os.O_RDONLY)
        os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
        os.close(fd)


def timed(what):
    start = time.perf_counter()
    result = what()
    return time.perf_counter() - start, result


def main():
    build = os.path.abspath(sys.argv[1])
    given = [int(a) for a in sys.argv[2:5]]
    count, signals, points = given + [200, 50, 20000][len(given):]
    sys.path.insert(0, os.path.join(build, "python"))
    try:
        import numpy as np
        from distributed import Client, LocalCluster
        import wavtrex
    except ImportError as error:
        print(f"many_bench: skipped ({error}; needs the Python module and python3-dask, "
              "python3-distributed, python3-xarray)")
        return 0
    converter = os.path.abspath(os.path.join(build, "wavtrex"))
    folder = tempfile.mkdtemp(prefix="many-bench-", dir=build)
    try:
        start = time.perf_counter()
        subprocess.run([os.path.join(build, "bench", "make_runs"), folder, str(count),
                        str(signals), str(points)], check=True)
        paths = sorted(os.path.join(folder, f) for f in os.listdir(folder))
        print(f"many_bench: {count} binary 9601 runs of {signals} signals x {points} points, "
              f"{sum(os.path.getsize(p) for p in paths) / 1e6:.0f} MB "
              f"(made in {time.perf_counter() - start:.1f} s)")
        chosen = ["v0", f"v{signals // 2}", f"v{signals - 1}"]

        def loop():
            sums = {}
            for path in paths:
                sweep = wavtrex.read(path, chosen)[0]
                for name in chosen:
                    sums[name] = sums.get(name, 0) + sweep[name].astype(np.float64)
            return {name: total / len(paths) for name, total in sums.items()}

        loop()  # the page cache, for both
        loop_seconds, expected = min((timed(loop) for _ in range(3)), key=lambda r: r[0])
        start = time.perf_counter()
        cluster = LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                               dashboard_address=":0")
        client = Client(cluster)
        started = time.perf_counter() - start
        with cluster, client:
            def many():
                return wavtrex.open_many(paths, chosen, client=client).mean("run").compute()
            many()
            many_seconds, got = min((timed(many) for _ in range(3)), key=lambda r: r[0])
            agree = all(np.allclose(got[n].values, expected[n], rtol=1e-5) for n in chosen)
            print(f"  mean of 3 signals over the runs, cached: read() loop {loop_seconds:7.3f} s, "
                  f"open_many on 2 workers {many_seconds:7.3f} s: ratio "
                  f"{loop_seconds / many_seconds:.2f} (goal 1.7){'' if agree else ', VALUES DIFFER'}")
            # From the disk, as files on a shared file system are read.
            evict(paths)
            cold_loop, _ = timed(loop)
            evict(paths)
            cold_many, _ = timed(many)
            print(f"  the same from the disk:                 read() loop {cold_loop:7.3f} s, "
                      f"open_many on 2 workers {cold_many:7.3f} s: ratio "
                      f"{cold_loop / cold_many:.2f}")
            serial = os.path.join(folder, "serial")
            os.mkdir(serial)
            script = 'for f in "$@"; do "$0" "$f" 2>>errors || exit 1; done'
            shell_seconds, _ = timed(lambda: subprocess.run(
                ["sh", "-c", script, converter, *paths], cwd=serial, check=True,
                stdout=subprocess.DEVNULL))
            shutil.rmtree(serial)
            subprocess.run(["sync"])
            env = {**os.environ, "PYTHONPATH": os.path.abspath(os.path.join(build, "python"))}
            batch_seconds, run = timed(lambda: subprocess.run(
                [sys.executable, "-m", "wavtrex.batch", "convert", "--scheduler",
                 cluster.scheduler_address, "--converter", converter,
                 "--output", os.path.join(folder, "batch"), *paths],
                cwd=folder, env=env, capture_output=True, text=True))
            print(f"  convert every run: shell loop of wavtrex {shell_seconds:7.3f} s, "
                  f"wavtrex-batch on 2 workers {batch_seconds:7.3f} s: "
                  f"ratio {shell_seconds / batch_seconds:.2f} (goal 1.7; the LocalCluster "
                  f"took {started:.1f} s to start)")
            if run.returncode != 0:
                print("  wavtrex-batch: " + (run.stdout + run.stderr).strip())
            for address, own in sorted(client.run(peak).items()):
                print(f"  worker {address}: peak {own:6.1f} MB")
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
