"""How open_many and wavtrex-batch cut many files into Dask tasks, and the
bar that counts the files done.

Dask costs about a millisecond per task, more than reading a small run, so
both give each task a group of files sized from their bytes.
"""
import contextlib
import os
import sys
import threading
from typing import Iterator, List, Sequence, TypeVar

Item = TypeVar("Item")


def _size(path: str) -> int:
    try:
        return os.path.getsize(path)
    except OSError:
        return 0  # found by the task that reads it


def groups(items: Sequence[Item], paths: Sequence[str], seconds: float, rate: float,
           workers: int, size: int = 0) -> List[List[Item]]:
    """items (one per path) in consecutive groups of `size`, or (size 0) of
    about `seconds` of work at `rate` bytes a second, the average file's;
    at most an eighth of what each worker gets, so the groups still spread
    evenly over the workers and a worker that dies loses little."""
    if not size:
        average = sum(_size(p) for p in paths) / max(len(paths), 1)
        balanced = -(-len(items) // (8 * max(workers, 1)))
        size = max(1, min(int(seconds * rate / max(average, 1)), balanced))
    return [list(items[i:i + size]) for i in range(0, len(items), size)]


class Bar:
    """A bar on standard error when it is a terminal; nothing otherwise."""

    def __init__(self, total: int, what: str) -> None:
        self.total, self.done, self.what = total, 0, what
        self.shown = total > 0 and sys.stderr.isatty()
        self.lock = threading.Lock()  # tasks on threads count at once
        self.step()

    def step(self, count: int = 0) -> None:
        with self.lock:
            self.done += count
            if self.shown:
                filled = 30 * self.done // self.total
                sys.stderr.write(f"\r[{'#' * filled}{' ' * (30 - filled)}] "
                                 f"{self.done}/{self.total} {self.what}")
                sys.stderr.flush()

    def close(self) -> None:
        if self.shown:
            sys.stderr.write("\n")


class FileGroup:
    """The files one task reads, as its graph holds them: progress() counts
    them there before the tasks run."""

    def __init__(self, paths: Sequence[str]) -> None:
        self.paths = list(paths)


_bars: List[Bar] = []  # the bars of the computations running in this process


def files_read(count: int) -> None:
    """A task of this process has read count more files."""
    for bar in list(_bars):
        bar.step(count)


def _files(task) -> int:
    """The files of the FileGroups in a graph's task, fused ones too."""
    from dask.optimization import SubgraphCallable
    if isinstance(task, FileGroup):
        return len(task.paths)
    if isinstance(task, SubgraphCallable):
        return sum(_files(t) for t in task.dsk.values())
    if isinstance(task, (tuple, list)):
        return sum(_files(t) for t in task)
    return 0


@contextlib.contextmanager
def progress() -> Iterator[None]:
    """Within it, computing an open_many Dataset on Dask's threaded (default)
    or synchronous scheduler shows a bar of the files read on standard
    error, when it is a terminal. (A dask.distributed Client's tasks run in
    other processes: distributed.progress shows those.) Needs dask."""
    from dask.callbacks import Callback

    def start(dsk):
        _bars.append(Bar(sum(_files(t) for t in dsk.values()), "files"))

    def finish(dsk, state, errored):
        _bars.pop().close()

    with Callback(start=start, finish=finish):
        yield
