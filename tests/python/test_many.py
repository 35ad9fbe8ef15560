"""Many runs on a real Dask cluster: open_many against per-file reads, and
wavtrex-batch against the converter run directly, on a LocalCluster of two
worker processes shared by the module, and once on a scheduler and two
workers started as programs."""
import filecmp
import io
import json
import os
import signal
import subprocess
import sys
import time

import numpy as np
import pytest
from distributed import Client, LocalCluster

import wavtrex
from wave_files import csdf

CONVERTER = os.environ["WAVTREX_BINARY"]
INFO = os.environ["WAVTREX_INFO"]


@pytest.fixture(scope="module")
def client():
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                      dashboard_address=":0") as cluster, Client(cluster) as c:
        yield c


@pytest.mark.parametrize("ac", [False, True], ids=["real", "complex"])
def test_runs_with_own_times_interpolate_onto_an_axis(tmp_path, client, ac):
    rng, paths, slopes = np.random.default_rng(7), [], []
    for i in range(20):
        times = np.concatenate([[0], np.sort(rng.uniform(0, 1, 12)), [1 + i / 32]])
        slope = (i + 1) * (1 - 2j if ac else 1)
        # Linear in time, so interpolation is exact.
        paths.append(csdf(tmp_path / f"r{i:02}.csdf", times,
                          [[slope * times + 3], [times * 0 - i]], ac=ac))
        slopes.append(slope)
    axis = np.linspace(0, 1.7, 35)
    ds = wavtrex.open_many(str(tmp_path / "r*.csdf"), ["V(A)", "v(b)", "v(a)"], axis=axis)
    assert list(ds.data_vars) == ["v(a)", "v(b)"] and list(ds.run.values) == paths
    assert ds["v(a)"].dtype.kind == ("c" if ac else "f")
    got = ds.compute()
    for i, slope in enumerate(slopes):
        inside = axis <= 1 + i / 32
        np.testing.assert_allclose(got["v(a)"].values[i][inside], slope * axis[inside] + 3,
                                   rtol=1e-6)
        assert np.isnan(got["v(a)"].values[i][~inside]).all()
        assert (got["v(b)"].values[i][inside] == -i).all()
    # Without an axis the runs must share their times: one that does not is named.
    with pytest.raises(ValueError, match=r"r(0[1-9]|1\d).csdf: its independent values differ"):
        wavtrex.open_many(paths, "v(a)", client=client).compute()


def test_swept_runs_hold_the_values_read(tmp_path):
    times = np.linspace(0, 1e-9, 9)
    paths = [csdf(tmp_path / f"s{i}.csdf", times,
                  [[times * (i + s) for s in range(3)], [times * 0 + s for s in range(3)]],
                  sweeps=3) for i in range(4)]
    ds = wavtrex.open_many(paths, ["v(b)", "v(a)"])
    assert ds["v(a)"].dims == ("run", "sweep", "time")
    np.testing.assert_allclose(ds.time, times, rtol=1e-7)
    for r, path in enumerate(paths):
        for s, sweep in enumerate(wavtrex.read(path)):
            for name in ("v(a)", "v(b)"):
                np.testing.assert_array_equal(ds[name].values[r, s], sweep[name])
    # A chunk's memory held by a result is not handed to the next chunk.
    held, again = [wavtrex.open_many(p, "v(a)", files_per_chunk=4)["v(a)"].data.compute(
        scheduler="threads") for p in (paths, paths[::-1])]
    np.testing.assert_array_equal(held, again[::-1])


def test_damaged_files_raise_or_are_skipped(tmp_path):
    good = [csdf(tmp_path / f"g{i}.csdf", [0, 1], [[[i, i]]], names=["v(a)"]) for i in range(3)]
    junk = tmp_path / "junk.tr0"
    junk.write_text("no waveform\n")
    cut = tmp_path / "cut.csdf"
    cut.write_text((tmp_path / "g0.csdf").read_text().replace("#; \n", ""))
    swept = csdf(tmp_path / "swept.csdf", [0, 1], [[[0, 0]] * 2], names=["v(a)"], sweeps=2)
    # The first file is read at once; the others by the tasks.
    with pytest.raises(wavtrex.Error, match="Unknown file format") as opened:
        wavtrex.open_many([str(junk)] + good, ["v(a)"])
    assert opened.value.filename == str(junk)
    for bad, error, match in [(junk, wavtrex.Error, "Unknown file format"),
                              (cut, wavtrex.Error, "incompleted"),
                              (swept, ValueError, "OUTERSWEEP, but .*g0.csdf: not swept")]:
        with pytest.raises(error, match=match):
            wavtrex.open_many(good + [str(bad)], ["v(a)"], files_per_chunk=2).compute()
    with pytest.raises(KeyError, match="'v\\(zz\\)' is no signal of .*g0.csdf"):
        wavtrex.open_many(good, ["v(zz)"])
    ds = wavtrex.open_many([str(junk)] + good + [str(cut), swept], ["v(a)"],
                           errors="skip", files_per_chunk=2)
    assert ds["v(a)"].chunks[0] == (2, 2, 2)
    ds = ds.compute()
    assert list(ds.error.values) == [f"{junk}: Error:  Unknown file format!!", "", "", "",
                                     f"{cut}: Error: File {cut} is incompleted !!",
                                     f"{swept}: 2 sweeps of OUTERSWEEP, but {good[0]}: not swept"]
    assert ds["v(a)"].mean("run").values.tolist() == [1, 1]


def test_progress_counts_the_files_read(tmp_path, monkeypatch):
    paths = [csdf(tmp_path / f"p{i}.csdf", [0, 1], [[[i, i]]], names=["v"]) for i in range(5)]
    monkeypatch.setattr(sys, "stderr", type("Terminal", (io.StringIO,), {"isatty": lambda _: True})())
    with wavtrex.progress():
        ds = wavtrex.open_many(paths, "v", files_per_chunk=2)
        assert ds["v"].mean("run").compute(scheduler="threads").values.tolist() == [2, 2]
    assert sys.stderr.getvalue().endswith("] 5/5 files\n")


def batch(*args):
    """wavtrex-batch as a program: (exit status, stdout, stderr)."""
    run = subprocess.run([sys.executable, "-m", "wavtrex.batch", *args], capture_output=True,
                         text=True, timeout=240)
    return run.returncode, run.stdout, run.stderr


@pytest.fixture
def tree(tmp_path):
    """Two folders with the same file names, a name collision, a refused
    file and one the converter fails on."""
    times = np.linspace(0, 1e-9, 5)
    for name in ("a/r0.csdf", "a/r1.csdf", "b/r0.csdf", "b/x.csdf", "b/x.tr0"):
        csdf(tmp_path / "in" / name, times, [[times], [times * 2]])
    csdf(tmp_path / "in/b/dots.csdf", times, [[times], [times]], names=["a", "../up"])
    (tmp_path / "in/b/bad.tr0").write_text("no waveform\n")
    return tmp_path


def outputs(folder):
    """Every file and folder below folder (an attempt's working folder too)."""
    return sorted(os.path.relpath(os.path.join(r, f), folder)
                  for r, dirs, files in os.walk(folder) for f in files + dirs)


def test_batch_convert_mirrors_folders_and_resumes(tree, client, monkeypatch):
    monkeypatch.chdir(tree)
    status, out, err = batch("convert", "--scheduler", client.scheduler.address,
                             "--output", "out", "in/**/*.*")
    assert (status, out) == (1, "wavtrex-batch: 3 converted, 3 refused, 1 failed\n")
    assert "in/b/x.csdf refused: would share the output folder" in err
    assert "in/b/bad.tr0 refused: Unable to complete conversion." in err
    assert "in/b/dots.csdf failed: Cannot open dots/../up.cur for writing." in err
    # What the converter writes when run in each folder by hand, and nothing else.
    for name in ("a/r0", "a/r1", "b/r0"):
        os.makedirs(tree / "ref" / name, exist_ok=True)
        subprocess.run([CONVERTER, tree / f"in/{name}.csdf"], cwd=tree / "ref" / name[0],
                       check=True, capture_output=True)
    made = [f for f in outputs(tree / "ref") if f.endswith("cur") or f.endswith("curlist")]
    assert outputs(tree / "out/in") == sorted(outputs(tree / "ref") + ["b/dots", "b/dots/a.cur"])
    assert filecmp.cmpfiles(tree / "ref", tree / "out/in", made, shallow=False)[0] == made
    os.utime(tree / "in/a/r1.csdf", (time.time() + 5,) * 2)
    status, out, _ = batch("convert", "--scheduler", client.scheduler.address,
                           "--output", "out", "--resume", "in/**/*.*")
    assert out == "wavtrex-batch: 1 converted, 3 refused, 1 failed, 2 up to date\n"


def test_batch_info_is_one_array(tree, client, monkeypatch):
    monkeypatch.chdir(tree / "in")
    status, out, _ = batch("info", "--scheduler", client.scheduler.address, "b/*", "a/r0.csdf")
    records = json.loads(out)
    names = ["b/bad.tr0", "b/dots.csdf", "b/r0.csdf", "b/x.csdf", "b/x.tr0", "a/r0.csdf"]
    assert status == 1 and [r["file"] for r in records] == names
    direct = json.loads(subprocess.run([INFO, "--json", *names], capture_output=True).stdout)
    assert records == direct


def test_killed_worker_task_runs_again(tmp_path, client, monkeypatch):
    """A worker killed while its converter runs on the second file of its
    group: that file is converted again on a worker, once, the group's first
    file not again, and the killed attempt leaves nothing."""
    times = np.linspace(0, 1e-9, 5)
    for i in range(6):
        csdf(tmp_path / f"in/k{i}.csdf", times, [[times], [times * i]])
    log, slow = tmp_path / "log", tmp_path / "slow.sh"
    slow.write_text(f'#!/bin/sh\necho "$PPID $1" >> {log}\nsleep 2\nexec {CONVERTER} "$1"\n')
    slow.chmod(0o755)
    monkeypatch.chdir(tmp_path)
    run = subprocess.Popen([sys.executable, "-m", "wavtrex.batch", "convert", "--scheduler",
                            client.scheduler.address, "--converter", str(slow),
                            "--files-per-task", "3", "in/*.csdf"],
                           stdout=subprocess.PIPE, text=True)
    pids = set(client.run(os.getpid).values())
    deadline = time.time() + 60
    while (not log.exists() or log.read_text().count("\n") < 3) and time.time() < deadline:
        time.sleep(0.05)
    victim, started = log.read_text().split()[4:6]
    assert int(victim) in pids
    os.kill(int(victim), signal.SIGKILL)
    out, _ = run.communicate(timeout=180)
    assert (run.returncode, out) == (0, "wavtrex-batch: 6 converted, 0 refused, 0 failed\n")
    starts = [line.split()[1] for line in log.read_text().splitlines()]
    assert len(starts) == 7 and starts.count(started) == 2
    assert outputs(tmp_path / "in") == sorted([f"k{i}.csdf" for i in range(6)] + [
        f"k{i}{n}" for i in range(6) for n in ("", "/v(a).cur", "/v(b).cur", "/wavtrex.curlist")])


def test_scheduler_and_workers_started_as_programs(tmp_path):
    address = tmp_path / "scheduler.json"
    started = [subprocess.Popen([sys.executable, "-m", "distributed.cli.dask_scheduler",
                                 "--scheduler-file", address, "--port", "0",
                                 "--no-dashboard"], stderr=subprocess.DEVNULL)]
    try:
        started += [subprocess.Popen([sys.executable, "-m", "distributed.cli.dask_worker",
                                      "--scheduler-file", address, "--nthreads", "1",
                                      "--no-dashboard"], stderr=subprocess.DEVNULL)
                    for _ in range(2)]
        with Client(scheduler_file=str(address), timeout="60s") as remote:
            remote.wait_for_workers(2, timeout=60)
            times = np.linspace(0, 1, 4)
            paths = [csdf(tmp_path / f"p{i}.csdf", times, [[times + i]], names=["v"])
                     for i in range(4)]
            ds = wavtrex.open_many(paths, "v", client=remote)
            assert ds["v"].mean("run").values.tolist() == pytest.approx(times + 1.5)
            status, out, _ = batch("convert", "--scheduler", remote.scheduler.address,
                                   "--output", str(tmp_path / "out"), *paths)
            assert (status, out) == (0, "wavtrex-batch: 4 converted, 0 refused, 0 failed\n")
    finally:
        for process in started:
            process.terminate()
        for process in started:
            process.wait(timeout=30)
