"""wavtrex-batch: the converter or wavtrex-info over many files, as Dask tasks.

    wavtrex-batch convert [--scheduler ADDRESS] [--workers N] [--files-per-task N]
                          [--output DIR] [--resume] FILE|GLOB...
    wavtrex-batch info [--scheduler ADDRESS] [--workers N] [--files-per-task N] FILE|GLOB...

Each task takes a group of files (Dask's cost per task is paid per group)
and runs the program on each in turn, in a fresh process per file (the
converter may end its process on a damaged file). Without --scheduler the
tasks run on Dask's threaded scheduler in this process (they wait on their
programs, which is no work for the GIL, and no cluster has to start); with
it, on the workers of a running Dask scheduler, connected to while the files
are listed, which must see the files and the programs at the same paths.
"""
import argparse
import glob
import json
import os
import shutil
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor
from typing import Dict, List, Optional, Tuple

from ._tasks import Bar, groups

CURVE_LIST = "wavtrex.curlist"
REFUSED = "Unable to complete conversion."
WORK_PREFIX = ".wavtrex-batch-"  # an attempt's working folder, inside the output folder
# What a group of files aims at: seconds of converting, at the converter's
# rate on a binary file (wavtrex-info's groups take less).
GROUP_SECONDS, CONVERT_RATE = 0.5, 50e6

_pdeathsig: Optional[List[str]] = None


def find_program(name: str, given: Optional[str], variable: str) -> Optional[str]:
    """The program to run: given, else $variable, else beside the package (a
    build tree's build/python/wavtrex, or an installed prefix's bin), else on
    PATH; None when the first of these that is set names no program."""
    for candidate in (given, os.environ.get(variable)):
        if candidate:
            path = os.path.abspath(candidate)
            return path if os.path.isfile(path) and os.access(path, os.X_OK) else None
    here = os.path.dirname(os.path.abspath(__file__))
    for folder in (os.path.join(here, "..", ".."), os.path.join(here, *[".."] * 4, "bin")):
        path = os.path.normpath(os.path.join(folder, name))
        if os.path.isfile(path) and os.access(path, os.X_OK):
            return path
    return shutil.which(name)


def _launcher() -> List[str]:
    """setpriv --pdeathsig KILL where it works: a child whose worker dies (a
    killed worker's task runs again elsewhere) must not go on writing."""
    global _pdeathsig
    if _pdeathsig is None:
        _pdeathsig = []
        setpriv = shutil.which("setpriv")
        if setpriv and subprocess.run([setpriv, "--pdeathsig", "KILL", "true"],
                                      capture_output=True).returncode == 0:
            _pdeathsig = [setpriv, "--pdeathsig", "KILL", "--"]
    return _pdeathsig


def _environment() -> Dict[str, str]:
    """This process's environment without what Dask's nanny sets for the
    Python of its workers: MALLOC_TRIM_THRESHOLD_ would make the converter
    hand its memory back after every piece and fault it in again (half as
    fast again on a busy machine)."""
    import dask
    nanny = dask.config.get("distributed.nanny.pre-spawn-environ", {}) or {}
    return {k: v for k, v in os.environ.items() if k not in nanny}


def _run(command: List[str], cwd: Optional[str] = None) -> Tuple[int, bytes, bytes]:
    proc = subprocess.run(_launcher() + command, cwd=cwd, stdin=subprocess.DEVNULL,
                          capture_output=True, env=_environment())
    return proc.returncode, proc.stdout, proc.stderr


def _move_into(work: str, folder: str, keep_list: bool) -> None:
    """Moves what the converter wrote below work into folder, file by file
    (never removing anything else there), curve lists last: a curve list in
    place means the run before it was complete. Without keep_list, a curve
    list left by an earlier run goes too, so --resume converts the file again."""
    lists = []
    for root, dirs, files in os.walk(work):
        target = os.path.join(folder, os.path.relpath(root, work))
        os.makedirs(target, exist_ok=True)
        for name in files:
            if name == CURVE_LIST:
                lists.append((os.path.join(root, name), os.path.join(target, name)))
            else:
                os.replace(os.path.join(root, name), os.path.join(target, name))
    for source, target in lists:
        if keep_list:
            os.replace(source, target)
        elif os.path.isfile(target):
            os.remove(target)


def convert_one(path: str, folder: str, converter: str) -> Tuple[str, str]:
    """Runs the converter on path with its output going to folder; returns
    the outcome ("converted", "refused" or "failed") and the converter's
    messages. Runs on a worker."""
    try:
        os.makedirs(folder, exist_ok=True)
        work = tempfile.mkdtemp(prefix=WORK_PREFIX, dir=folder)
    except OSError as error:
        return "failed", f"cannot create a folder in {folder}: {error.strerror}"
    try:
        try:
            status, _, err = _run([converter, path], cwd=work)
        except OSError as error:
            return "failed", f"cannot run {converter}: {error.strerror}"
        message = err.decode(errors="replace").strip()
        if status < 0:
            message += f"{' ' if message else ''}(ended by signal {-status})"
        elif status != 0 and not message:
            message = f"exit status {status}"
        outcome = ("converted" if not message else
                   "refused" if message == REFUSED else "failed")
        try:
            _move_into(work, folder, outcome == "converted")
        except OSError as error:
            outcome = "failed"
            message += f"{' ' if message else ''}(moving into {folder}: {error})"
        return outcome, message
    finally:
        shutil.rmtree(work, ignore_errors=True)


def convert_group(items: List[Tuple[str, str]], converter: str, since: float) -> List:
    """convert_one on each (path, folder) in turn. A group run again after
    its worker died passes over the files it converted before: their curve
    lists were written after since, when the batch started. Runs on a worker."""
    results = []
    for path, folder in items:
        listed = os.path.join(output_name(path, folder), CURVE_LIST)
        try:
            if os.path.getmtime(listed) > since:
                results.append(("converted", ""))
                continue
        except OSError:
            pass
        results.append(convert_one(path, folder, converter))
    return results


def info_group(items: List[Tuple[str, str]], program: str) -> List[Dict]:
    """info_one on each (path, name shown) in turn. Runs on a worker."""
    return [info_one(path, shown, program) for path, shown in items]


def info_one(path: str, shown: str, program: str) -> Dict:
    """wavtrex-info --json on path: its record for the file, or one saying
    why there is none. Runs on a worker."""
    try:
        status, out, err = _run([program, "--json", path])
    except OSError as error:
        return {"file": shown, "ok": False, "error": f"cannot run {program}: {error.strerror}"}
    try:
        record = json.loads(out)[0]
    except (ValueError, IndexError, KeyError, TypeError):
        why = err.decode(errors="replace").strip() or f"wavtrex-info exit status {status}"
        record = {"file": shown, "ok": False, "error": why}
    record["file"] = shown
    return record


def expand(arguments: List[str]) -> Tuple[List[str], List[str]]:
    """The files the arguments name, each once, and the patterns matching nothing."""
    files, empty = [], []
    for argument in arguments:
        if glob.has_magic(argument):
            found = sorted(glob.glob(argument, recursive=True))
            files += [f for f in found if os.path.isfile(f)]
            empty += [] if found else [argument]
        else:
            files.append(argument)
    # One file named twice (a pattern and by name, or two spellings) runs once.
    once: Dict[str, str] = {}
    for f in files:
        once.setdefault(os.path.abspath(f), f)
    return list(once.values()), empty


def mirrored(path: str, output: str) -> str:
    """The folder below output for path: its folder relative to the current
    one, or, outside it, its absolute folder without the root."""
    folder = os.path.dirname(os.path.abspath(path))
    relative = os.path.relpath(folder, os.getcwd())
    if relative == os.pardir or relative.startswith(os.pardir + os.sep):
        relative = os.path.relpath(folder, os.path.abspath(os.sep))
    return os.path.normpath(os.path.join(os.path.abspath(output), relative))


def output_name(path: str, folder: str) -> str:
    """Where the converter run in folder writes for path: the file name
    without its last extension."""
    return os.path.join(folder, os.path.splitext(os.path.basename(path))[0])


def output_folder(path: str, output: str) -> str:
    return output_name(path, mirrored(path, output))


def clock(folder: str) -> float:
    """The time now by the clock of folder's file system (a shared one's
    server may differ from this host), which stamps the files written there."""
    os.makedirs(folder, exist_ok=True)
    fd, path = tempfile.mkstemp(prefix=WORK_PREFIX, dir=folder)
    try:
        return os.fstat(fd).st_mtime
    finally:
        os.close(fd)
        os.remove(path)


def connect(address: str):
    """A Client of the scheduler at address."""
    try:
        from distributed import Client
    except ImportError as error:
        raise SystemExit(f"wavtrex-batch: needs dask.distributed (apt-get install "
                         f"python3-distributed): {error}") from error
    return Client(address, timeout="30s")


def _failure(error: BaseException) -> str:
    return f"{type(error).__name__}: {error}"


def _guarded(function, part: list, extra: tuple, lost) -> List:
    """function(part, *extra), or lost(item, reason) for each item when it
    raises: on the threaded scheduler one task's error would end them all."""
    try:
        return function(part, *extra)
    except Exception as error:  # noqa: BLE001  (any task failure is its files')
        return [lost(item, _failure(error)) for item in part]


class Cluster:
    """Where the tasks run: with --scheduler, its workers through a Client,
    connecting in the background while the files are listed (and closed at
    the end of a with block); else Dask's threaded scheduler, --workers
    threads (default: one per core)."""

    def __init__(self, args) -> None:
        self.pool = ThreadPoolExecutor(1) if args.scheduler else None
        self.started = self.pool.submit(connect, args.scheduler) if self.pool else None
        self.threads = args.workers or os.cpu_count() or 1

    def __enter__(self) -> "Cluster":
        return self

    def call(self, function, *arguments):
        """function(*arguments) where the tasks run: a worker finds the programs."""
        if self.started is None:
            return function(*arguments)
        return self.started.result().submit(function, *arguments, pure=False).result()

    def run_groups(self, function, items: List[tuple], extra: tuple, size: int, lost) -> List:
        """function(group, *extra) as one Dask task per group of items (group
        size `size`, or 0 for one file on threads and about GROUP_SECONDS of
        work from the files' sizes on a cluster), each giving a result per
        item; the results in the order given. lost(item, reason) stands for
        the result of an item whose task failed (or, on a cluster, whose
        workers kept dying). The bar counts the files done."""
        client = self.started.result() if self.started else None
        # A threaded task costs Dask a tenth of a millisecond: one file
        # each, and the threads end together.
        workers = sum(client.nthreads().values()) if client else self.threads
        parts = groups(items, [item[0] for item in items], GROUP_SECONDS, CONVERT_RATE,
                       workers, size or (0 if client else 1))
        bar = Bar(len(items), "files")
        try:
            if client is None:
                results = _on_threads(function, parts, extra, lost, bar, self.threads)
            else:
                results = _on_cluster(client, function, parts, extra, lost, bar)
        finally:
            bar.close()
        return [result for part in results for result in part]

    def __exit__(self, *exc) -> None:
        if self.pool is None:
            return
        try:
            self.started.result().close()
        finally:
            self.pool.shutdown()


def _on_threads(function, parts: List[list], extra: tuple, lost, bar: Bar, threads: int):
    import dask
    from dask.callbacks import Callback
    tasks = [dask.delayed(_guarded, pure=False)(function, part, extra, lost) for part in parts]
    with Callback(posttask=lambda key, result, *_: bar.step(len(result))):
        return dask.compute(*tasks, scheduler="threads", num_workers=threads)


def _on_cluster(client, function, parts: List[list], extra: tuple, lost, bar: Bar):
    from distributed import as_completed
    futures = [client.submit(function, part, *extra, pure=False) for part in parts]
    order = {f.key: k for k, f in enumerate(futures)}
    results: List = [None] * len(parts)
    for future in as_completed(futures):
        k = order[future.key]
        try:
            results[k] = future.result()
        except Exception as error:  # noqa: BLE001  (any task failure is its files')
            results[k] = [lost(item, _failure(error)) for item in parts[k]]
        bar.step(len(parts[k]))
    return results


def plan_conversions(files: List[str], output: str, resume: bool):
    """(to convert as (file, folder), refused as (file, reason), up to date)."""
    by_folder: Dict[str, List[str]] = {}
    for path in files:
        by_folder.setdefault(output_folder(path, output), []).append(path)
    todo, refused, fresh = [], [], []
    for folder, paths in by_folder.items():
        if len(paths) > 1:
            for path in paths:
                others = ", ".join(p for p in paths if p != path)
                refused.append((path, f"would share the output folder {folder} with {others}"))
            continue
        path = paths[0]
        listed = os.path.join(folder, CURVE_LIST)
        try:
            if resume and os.path.getmtime(listed) > os.path.getmtime(path):
                fresh.append(path)
                continue
        except OSError:
            pass
        todo.append((path, os.path.dirname(folder)))
    return todo, refused, fresh


def convert_all(cluster: Cluster, args, todo: List[Tuple[str, str]]) -> Optional[List]:
    """The outcome of each (file, folder) of todo; None without a converter."""
    converter = cluster.call(find_program, "wavtrex", args.converter, "WAVTREX_BINARY")
    if converter is None:
        print("wavtrex-batch: no converter program: --converter, WAVTREX_BINARY, the "
              "build or install beside the package and PATH give none", file=sys.stderr)
        return None
    since = clock(args.output)
    results = cluster.run_groups(convert_group, [(os.path.abspath(p), f) for p, f in todo],
                                 (converter, since), args.files_per_task or 0,
                                 lambda item, why: ("failed", why))
    # What a killed worker's attempt left (its converter dies with it).
    for folder in {f for _, f in todo}:
        for stale in glob.glob(os.path.join(glob.escape(folder), WORK_PREFIX + "*")):
            shutil.rmtree(stale, ignore_errors=True)
    return results


def convert(args) -> int:
    with Cluster(args) as cluster:
        files, empty = expand(args.files)
        for pattern in empty:
            print(f"wavtrex-batch: no file matches {pattern}", file=sys.stderr)
        todo, refused, fresh = plan_conversions(files, args.output, args.resume)
        for path, reason in refused:
            print(f"wavtrex-batch: {path} refused: {reason}", file=sys.stderr)
        results = convert_all(cluster, args, todo) if todo else []
    if results is None:
        return 2
    outcomes = {"converted": [], "refused": list(refused), "failed": []}
    for (path, _), (outcome, message) in zip(todo, results):
        outcomes[outcome].append((path, message))
    for kind in ("refused", "failed"):
        for path, message in outcomes[kind][len(refused) if kind == "refused" else 0:]:
            print(f"wavtrex-batch: {path} {kind}: {' | '.join(message.splitlines())}",
                  file=sys.stderr)
    counts = [f"{len(outcomes[k])} {k}" for k in ("converted", "refused", "failed")]
    if args.resume:
        counts.append(f"{len(fresh)} up to date")
    print("wavtrex-batch: " + ", ".join(counts))
    return 1 if outcomes["refused"] or outcomes["failed"] or empty else 0


def info(args) -> int:
    with Cluster(args) as cluster:
        files, empty = expand(args.files)
        for pattern in empty:
            print(f"wavtrex-batch: no file matches {pattern}", file=sys.stderr)
        records = []
        if files:
            program = cluster.call(find_program, "wavtrex-info", args.info, "WAVTREX_INFO")
            if program is None:
                print("wavtrex-batch: no wavtrex-info program: --info, WAVTREX_INFO, the "
                      "build or install beside the package and PATH give none", file=sys.stderr)
                return 2
            records = cluster.run_groups(
                info_group, [(os.path.abspath(p), p) for p in files], (program,),
                args.files_per_task or 0,
                lambda item, why: {"file": item[1], "ok": False, "error": why})
    sys.stdout.write("[\n" + ",\n".join(json.dumps(r) for r in records) + "\n]\n")
    return 1 if empty or not all(r.get("ok") for r in records) else 0


def main(argv: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(
        prog="wavtrex-batch",
        description="Runs the wavtrex converter or wavtrex-info on many waveform files "
                    "as Dask tasks, each in a fresh process.")
    commands = parser.add_subparsers(dest="command", required=True)
    both = argparse.ArgumentParser(add_help=False)
    both.add_argument("--scheduler", metavar="ADDRESS",
                      help="a running Dask scheduler (tcp://host:8786); else Dask's "
                           "threaded scheduler in this process")
    both.add_argument("--workers", type=int, metavar="N",
                      help="files worked on at once without --scheduler (default: one per "
                           "core)")
    both.add_argument("--files-per-task", type=int, metavar="N",
                      help="files each task takes (default: one on threads; with "
                           "--scheduler, about half a second of converting, from their "
                           "sizes)")
    both.add_argument("files", nargs="+", metavar="FILE|GLOB",
                      help="waveform files, or patterns (quoted; ** descends into folders)")
    run = commands.add_parser("convert", parents=[both],
                              help="convert every signal of every file")
    run.add_argument("--output", default=".", metavar="DIR",
                     help="where the output folders go, mirroring the inputs' folders "
                          "(default: the current folder)")
    run.add_argument("--resume", action="store_true",
                     help="skip files whose curve list is newer than the file")
    run.add_argument("--converter", metavar="PATH", help="the wavtrex program to run")
    show = commands.add_parser("info", parents=[both],
                               help="wavtrex-info --json on every file, as one JSON array")
    show.add_argument("--info", metavar="PATH", help="the wavtrex-info program to run")
    args = parser.parse_args(argv)
    if args.scheduler and args.workers:
        parser.error("--workers is for the threaded scheduler; a running scheduler has its own")
    for option in ("workers", "files_per_task"):
        if getattr(args, option) is not None and getattr(args, option) < 1:
            parser.error(f"--{option.replace('_', '-')} needs at least 1")
    return convert(args) if args.command == "convert" else info(args)


if __name__ == "__main__":
    # The tasks must name wavtrex.batch, which workers import, not __main__.
    from wavtrex.batch import main as batch_main
    sys.exit(batch_main())
