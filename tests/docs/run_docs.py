"""Runs every fenced code block of a documentation page, in order, in a
scratch folder holding the demo's files, and compares the output a block
shows with what it prints. HACKING.md ("The examples of the pages") has the
rules a page follows.

    python3 run_docs.py --build BUILD_DIR --scratch DIR PAGE.md
"""
import argparse
import ast
import contextlib
import io
import os
import re
import shutil
import subprocess
import sys
import tokenize

RUNNERS = {"python", "sh", "bash", "c"}
MARK = re.compile(r"<!--\s*(no-run|file):\s*(.*?)\s*-->$")
FENCE = re.compile(r"^(```+)\s*([\w+-]*)")
SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


class Failure(Exception):
    """A block that failed: its line in the page, and what went wrong."""

    def __init__(self, line, message):
        super().__init__(message)
        self.line = line


def blocks(text):
    """(line, language, code, mark) of each fenced block; mark is the
    (kind, value) of an HTML comment on the line before it, or None."""
    lines, found, i = text.split("\n"), [], 0
    while i < len(lines):
        fence = FENCE.match(lines[i])
        if not fence:
            i += 1
            continue
        start, end = i, i + 1
        while end < len(lines) and lines[end].strip() != fence.group(1):
            end += 1
        before = next((ln.strip() for ln in reversed(lines[:start]) if ln.strip()), "")
        mark = MARK.match(before)
        found.append((start + 1, fence.group(2).lower(), "\n".join(lines[start + 1:end]) + "\n",
                      mark.groups() if mark else None))
        i = end + 1
    return found


def same(shown, got):
    """None when got is what shown shows, else (shown line, got line) of
    the first difference. "..." in a line stands for any text; a line of
    only "..." for any number of lines."""
    shown = [ln.rstrip() for ln in shown.strip("\n").split("\n")]
    got = [ln.rstrip() for ln in got.strip("\n").split("\n")]

    def walk(i, j):
        if i == len(shown):
            return None if j == len(got) else ("(nothing more)", got[j])
        if shown[i] == "...":
            tries = [walk(i + 1, k) for k in range(j, len(got) + 1)]
            return None if None in tries else tries[0]
        pattern = ".*".join(re.escape(part) for part in shown[i].split("..."))
        if j < len(got) and re.fullmatch(pattern, got[j]):
            return walk(i + 1, j + 1)
        return (shown[i], got[j] if j < len(got) else "(nothing more)")

    return walk(0, 0)


def check(line, shown, got):
    difference = same(shown, got)
    if difference:
        raise Failure(line, "the output differs from what the page shows:\n"
                            f"  shown: {difference[0]}\n  got:   {difference[1]}")


class Python:
    """One interpreter for a page's Python blocks. A statement whose last
    line ends in "# -> TEXT" must print TEXT (an expression statement prints
    its repr, as at the prompt)."""

    def __init__(self):
        self.names = {"__name__": "__main__", "__expect": self.expect, "__show": self.show}

    @staticmethod
    def show(value):
        if value is not None:
            print(repr(value))

    @contextlib.contextmanager
    def expect(self, line, shown):
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            yield
        check(self.first + line - 1, shown, out.getvalue())

    def run(self, first, code):
        self.first = first
        tree = ast.parse(code)
        wanted = {tok.start[0]: tok.string[4:].strip()
                  for tok in tokenize.generate_tokens(io.StringIO(code).readline)
                  if tok.type == tokenize.COMMENT and tok.string.startswith("# ->")}
        _Wrapper(wanted).visit(tree)
        if wanted:
            raise Failure(first + min(wanted) - 1, "a '# ->' comment ends no simple statement")
        out = io.StringIO()
        try:
            with contextlib.redirect_stdout(out):
                exec(compile(ast.fix_missing_locations(tree), "<block>", "exec"), self.names)
        except Failure:
            raise
        except BaseException as error:  # noqa: B036  (a block's SystemExit too)
            raise Failure(first, f"raised {type(error).__name__}: {error}") from error
        return out.getvalue()


class _Wrapper(ast.NodeTransformer):
    """Puts each simple statement with a "# ->" comment in
    `with __expect(line, text):`, printing an expression's value."""

    def __init__(self, wanted):
        self.wanted = wanted

    def generic_visit(self, node):
        super().generic_visit(node)
        for field in ("body", "orelse", "finalbody"):
            statements = getattr(node, field, None)
            if isinstance(statements, list):
                setattr(node, field, [self.wrap(s) for s in statements])
        return node

    def wrap(self, statement):
        if not isinstance(statement, ast.stmt) or hasattr(statement, "body"):
            return statement
        line = statement.end_lineno
        shown = self.wanted.pop(line, None)
        if shown is None:
            return statement
        if isinstance(statement, ast.Expr):
            statement = ast.Expr(ast.Call(ast.Name("__show", ast.Load()), [statement.value], []))
        call = ast.Call(ast.Name("__expect", ast.Load()), [ast.Constant(line), ast.Constant(shown)],
                        [])
        wrapped = ast.With([ast.withitem(call)], [statement])
        return ast.copy_location(wrapped, statement)


def prepare(build, scratch):
    """The scratch folder: the demo's sample in both formats and its
    configuration, a launcher for wavtrex-batch, the build installed into a
    prefix for C programs; and the environment the blocks run in."""
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(os.path.join(scratch, "bin"))
    for name in ("rc_ladder.tr0", "rc_ladder.raw"):
        subprocess.run([os.path.join(build, "demo_sample"), name], cwd=scratch, check=True)
    shutil.copy(os.path.join(SOURCE, "demo", "rc_ladder.tcc"), scratch)
    batch = os.path.join(scratch, "bin", "wavtrex-batch")
    with open(batch, "w") as f:
        f.write(f'#!/bin/sh\nexec "{sys.executable}" -m wavtrex.batch "$@"\n')
    os.chmod(batch, 0o755)
    prefix = os.path.join(scratch, "prefix")
    subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True,
                   stdout=subprocess.DEVNULL)
    pc = [os.path.join(d, "pkgconfig") for d in ("lib", "lib64", "lib/x86_64-linux-gnu")]
    env = dict(os.environ, PYTHONPATH=os.path.join(build, "python"),
               PATH=os.pathsep.join([os.path.join(scratch, "bin"), build, os.environ["PATH"]]),
               PKG_CONFIG_PATH=os.pathsep.join(os.path.join(prefix, d) for d in pc))
    return env


def run_page(page, build, scratch):
    env = prepare(build, scratch)
    os.environ.update(env)
    sys.path.insert(0, env["PYTHONPATH"])
    os.chdir(scratch)
    python, found = Python(), blocks(open(page, encoding="utf-8").read())
    for k, (line, language, code, mark) in enumerate(found):
        if mark and mark[0] == "no-run":
            if not mark[1]:
                raise Failure(line, "a no-run mark says why: <!-- no-run: REASON -->")
            continue
        if mark:  # file: NAME
            with open(os.path.join(scratch, mark[1]), "w") as f:
                f.write(code)
            continue
        if language == "text":
            continue
        if language not in RUNNERS:
            raise Failure(line, f"no runner for a ```{language} block: mark it "
                                "<!-- no-run: REASON --> or <!-- file: NAME -->")
        out = run_block(python, line, language, code, env, scratch)
        after = found[k + 1] if k + 1 < len(found) else None
        if after and after[1] == "text" and not after[3] and follows(page, line, code, after[0]):
            check(after[0], after[2], out)


def follows(page, line, code, next_line):
    """Whether only blank lines stand between a block and the next one."""
    lines = open(page, encoding="utf-8").read().split("\n")
    after = line + code.count("\n") + 1  # the line after the closing fence, from 0
    return all(not ln.strip() for ln in lines[after:next_line - 1])


def run_block(python, line, language, code, env, scratch):
    if language == "python":
        return python.run(line + 1, code)
    if language == "c":
        source = os.path.join(scratch, f"block{line}.c")
        with open(source, "w") as f:
            f.write(code)
        code = f'cc "{source}" -o "{source[:-2]}" $(pkg-config --cflags --libs wavtrex)\n'
        language = "sh"
    shell = "bash" if language == "bash" else "sh"
    run = subprocess.run([shell, "-e", "-c", code], cwd=scratch, env=env, text=True,
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if run.returncode:
        raise Failure(line, f"exited with status {run.returncode}:\n{run.stdout}")
    return run.stdout


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--scratch", required=True)
    parser.add_argument("page")
    args = parser.parse_args()
    page = os.path.abspath(args.page)
    try:
        run_page(page, os.path.abspath(args.build), os.path.abspath(args.scratch))
    except Failure as failure:
        print(f"{os.path.relpath(page, SOURCE)}:{failure.line}: {failure}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
