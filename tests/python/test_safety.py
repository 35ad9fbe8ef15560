"""The module never hangs and refuses what it cannot use: each risky run goes
in a fresh interpreter under a timeout, so a deadlock fails instead of hanging."""
import gzip
import subprocess
import sys
import textwrap

import pytest

from wave_files import write_post


def python(script, *args, stdin=None):
    """stdout of script run by a fresh interpreter (nothing imported yet)."""
    done = subprocess.run([sys.executable, "-c", textwrap.dedent(script), *map(str, args)],
                          input=stdin, capture_output=True, timeout=60)
    assert done.returncode == 0, done.stderr.decode()
    return done.stdout.decode()


@pytest.fixture(scope="module")
def post(tmp_path_factory):
    path = tmp_path_factory.mktemp("post") / "p.tr0"
    write_post(path, 2, 200)
    return path


HANGS = {
    # numpy is first needed by four threads at once.
    "first reads in threads": """
        import sys, threading, wavtrex
        start = threading.Barrier(4)
        def first_read():
            start.wait()
            wavtrex.open(sys.argv[1]).read()
        threads = [threading.Thread(target=first_read) for _ in range(4)]
        for t in threads: t.start()
        for t in threads: t.join()
        """,
    "streamable from another thread": """
        import sys, threading, time, wavtrex
        wf, answers, done = wavtrex.open(sys.argv[1]), set(), []
        def ask():
            while not done:
                answers.add(wf.streamable)
        asker = threading.Thread(target=ask)
        def piece(sweep):
            if sweep.independent[0] == 0:
                asker.start()
            time.sleep(0.001)
        wf.stream(piece, rows=1)
        done.append(True)
        asker.join()
        assert answers == {True}
        """,
    "stream, streamable and close in the callback": """
        import sys, wavtrex
        wf, refused = wavtrex.open(sys.argv[1]), []
        def piece(sweep):
            for inner in (lambda: wf.stream(print), lambda: wf.streamable, wf.close):
                try:
                    inner()
                except ValueError:
                    refused.append(inner)
            return False
        wf.stream(piece)
        assert len(refused) == 3
        """,
    # Pieces of 10**9 rows would need gigabytes for a file of 200.
    "rows beyond the file": """
        import resource, sys, wavtrex
        resource.setrlimit(resource.RLIMIT_AS, (2 << 30, 2 << 30))
        for rows in (10**9, 10**30):
            pieces = []
            assert wavtrex.open(sys.argv[1]).stream(pieces.append, rows=rows)
            assert [len(p.independent) for p in pieces] == [200]
        """,
}


@pytest.mark.parametrize("name", HANGS)
def test_ends(name, post):
    for _ in range(3 if name == "first reads in threads" else 1):
        python(HANGS[name], post)


@pytest.mark.parametrize("name,packed", [(None, False), ("-", True)])
def test_standard_input(post, name, packed):
    """A pipe is read in full, gzip-compressed or not."""
    data = post.read_bytes()
    out = python("""
        import sys, wavtrex
        wf = wavtrex.open(None if sys.argv[1] == "None" else sys.argv[1])
        print(wf.signals, len(wf.read()[0]["v(n1)"]))
        """, name, stdin=gzip.compress(data) if packed else data)
    assert out == "['v(n0)', 'v(n1)'] 200\n"
