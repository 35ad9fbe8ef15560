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
import warnings

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
MARK = re.compile(r"<!--\s*(no-run|file):\s*(.*?)\s*-->$")


class Failure(Exception):
    def __init__(self, line, message):
        super().__init__(message)
        self.line = line


def blocks(text):
    """(line, language, code, mark, right after the block before) of each
    fenced block; mark is the (kind, value) of a comment on the line before."""
    lines, found, i, end = text.split("\n"), [], 0, -2
    while i < len(lines):
        fence = re.match(r"^(```+)\s*([\w+-]*)", lines[i])
        if not fence:
            i += 1
            continue
        close = next((k for k in range(i + 1, len(lines)) if lines[k].strip() == fence[1]),
                     len(lines))
        mark = MARK.match(next((ln.strip() for ln in reversed(lines[:i]) if ln.strip()), ""))
        adjacent = all(not ln.strip() for ln in lines[end + 1:i])
        found.append((i + 1, fence[2].lower(), "\n".join(lines[i + 1:close]) + "\n",
                      mark.groups() if mark else None, adjacent))
        i = end = close
        i += 1
    return found


def check(line, shown, got):
    """Fails unless got is what shown shows: "..." in a line stands for any
    text, a line of only "..." for any lines; the first difference is told."""
    shown = [ln.rstrip() for ln in shown.strip("\n").split("\n")]
    got = [ln.rstrip() for ln in got.strip("\n").split("\n")]

    def walk(i, j):
        if i == len(shown):
            return None if j == len(got) else ("(nothing more)", got[j])
        if shown[i] == "...":
            tries = [walk(i + 1, k) for k in range(j, len(got) + 1)]
            return None if None in tries else tries[0]
        if j < len(got) and re.fullmatch(".*".join(map(re.escape, shown[i].split("..."))), got[j]):
            return walk(i + 1, j + 1)
        return shown[i], got[j] if j < len(got) else "(nothing more)"

    difference = walk(0, 0)
    if difference:
        raise Failure(line, "the output differs from what the page shows:\n"
                            f"  shown: {difference[0]}\n  got:   {difference[1]}")


class Python(ast.NodeTransformer):
    """One interpreter for a page's Python blocks. A simple statement whose
    last line ends in "# -> TEXT" must print TEXT; an expression statement
    prints its repr, as at the prompt."""

    def __init__(self):
        self.names = {"__name__": "__main__", "__expect": self.expect,
                      "__show": lambda v: v is None or print(repr(v))}

    @contextlib.contextmanager
    def expect(self, line, shown):
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            yield
        check(self.first + line - 1, shown, out.getvalue())

    def generic_visit(self, node):
        super().generic_visit(node)
        for field in ("body", "orelse", "finalbody"):
            if isinstance(getattr(node, field, None), list):
                setattr(node, field, [self.wrap(s) for s in getattr(node, field)])
        return node

    def wrap(self, statement):
        line = statement.end_lineno
        shown = None if hasattr(statement, "body") else self.wanted.pop(line, None)
        if shown is None:
            return statement
        if isinstance(statement, ast.Expr):
            statement = ast.Expr(ast.Call(ast.Name("__show", ast.Load()), [statement.value], []))
        call = ast.Call(ast.Name("__expect", ast.Load()),
                        [ast.Constant(line), ast.Constant(shown)], [])
        return ast.copy_location(ast.With([ast.withitem(call)], [statement]), statement)

    def run(self, first, code):
        self.first, tree = first, ast.parse(code)
        self.wanted = {t.start[0]: t.string[4:].strip()
                       for t in tokenize.generate_tokens(io.StringIO(code).readline)
                       if t.type == tokenize.COMMENT and t.string.startswith("# ->")}
        self.visit(tree)
        if self.wanted:
            raise Failure(first + min(self.wanted) - 1, "'# ->' ends no simple statement")
        out = io.StringIO()
        try:
            with contextlib.redirect_stdout(out):
                exec(compile(ast.fix_missing_locations(tree), "<block>", "exec"), self.names)
        except Failure:
            raise
        except BaseException as error:  # noqa: B036  (SystemExit too)
            raise Failure(first, f"raised {type(error).__name__}: {error}") from error
        return out.getvalue()


def prepare(build, scratch):
    """The scratch folder (the demo's files, the build installed for C
    programs) and the environment of the blocks."""
    shutil.rmtree(scratch, ignore_errors=True)
    os.makedirs(scratch)
    for name in ("rc_ladder.tr0", "rc_ladder.raw"):
        subprocess.run([os.path.join(build, "demo_sample"), name], cwd=scratch, check=True)
    shutil.copy(os.path.join(SOURCE, "demo", "rc_ladder.tcc"), scratch)
    prefix = os.path.join(scratch, "prefix")
    subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True,
                   stdout=subprocess.DEVNULL)
    pc = [os.path.dirname(p) for p in subprocess.run(
        ["find", prefix, "-name", "wavtrex.pc"], capture_output=True, text=True).stdout.split()]
    # Dask's and Python's warnings come and go with the machine's load: not
    # what the pages show.
    return dict(os.environ, PYTHONPATH=os.path.join(build, "python"), PKG_CONFIG_PATH=pc[0],
                DASK_LOGGING__DISTRIBUTED="error", PYTHONWARNINGS="ignore",
                PATH=os.pathsep.join([build, os.environ["PATH"]]))


def run_block(python, line, language, code, env):
    if language == "python":
        return python.run(line + 1, code)
    if language == "c":
        with open(f"block{line}.c", "w") as f:
            f.write(code)
        code = f"cc block{line}.c -o block{line} $(pkg-config --cflags --libs wavtrex)\n"
    run = subprocess.run(["bash" if language == "bash" else "sh", "-e", "-c", code], env=env,
                         text=True, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if run.returncode:
        raise Failure(line, f"exited with status {run.returncode}:\n{run.stdout}")
    return run.stdout


def run_page(page, build, scratch):
    env = prepare(build, scratch)
    os.environ.update(env)
    warnings.simplefilter("ignore")
    sys.path.insert(0, env["PYTHONPATH"])
    os.chdir(scratch)
    python, found = Python(), blocks(open(page, encoding="utf-8").read())
    for k, (line, language, code, mark, _) in enumerate(found):
        if mark and mark[0] == "no-run" and not mark[1]:
            raise Failure(line, "a no-run mark says why: <!-- no-run: REASON -->")
        if mark and mark[0] == "file":
            with open(mark[1], "w") as f:
                f.write(code)
        if mark or language == "text":
            continue
        if language not in ("python", "sh", "bash", "c"):
            raise Failure(line, f"no runner for a ```{language} block: mark it "
                                "<!-- no-run: REASON --> or <!-- file: NAME -->")
        out = run_block(python, line, language, code, env)
        after = found[k + 1] if k + 1 < len(found) else None
        if after and after[1] == "text" and not after[3] and after[4]:
            check(after[0], after[2], out)


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
