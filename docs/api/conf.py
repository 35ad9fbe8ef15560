"""Sphinx configuration of the Python API reference: autodoc over the built
package (PYTHONPATH=build/python), its signatures taken from the stubs in
_core.pyi where the compiled module has only pybind11's."""
import ast
import os
import re

import wavtrex

project = "wavtrex"
release = version = wavtrex.__version__
extensions = ["sphinx.ext.autodoc"]
autodoc_member_order = "bysource"
autodoc_typehints = "signature"
html_theme = "alabaster"
exclude_patterns = ["_build"]


def _stub_signatures():
    """{"Waveform.read": ("(self, signals=None)", "List[Sweep]"), ...} from _core.pyi."""
    stub = os.path.join(os.path.dirname(wavtrex.__file__), "_core.pyi")
    found = {}
    for node in ast.parse(open(stub, encoding="utf-8").read()).body:
        owner = node.name + "." if isinstance(node, ast.ClassDef) else ""
        for item in node.body if isinstance(node, ast.ClassDef) else [node]:
            if isinstance(item, ast.FunctionDef):
                arguments = ast.unparse(item.args)
                returns = ast.unparse(item.returns) if item.returns else None
                found[owner + item.name] = (f"({arguments})", returns)
    return found


STUBS = _stub_signatures()


def _signature(app, what, name, obj, options, signature, return_annotation):
    """The stub's signature for a member of the compiled module."""
    key = name.split("wavtrex.", 1)[-1]
    if key in STUBS and what in ("method", "function", "class"):
        arguments, returns = STUBS[key]
        return arguments.replace("self, ", "").replace("(self)", "()"), returns
    return None


def _plain_text(app, what, name, obj, options, lines):
    """The docstrings are plain text: a paragraph with an indented line (an
    example, a table) becomes a literal block, and in the others *, `, | and
    a trailing _ stay characters."""
    out, paragraph = [], []
    for line in lines + [""]:
        if line.strip():
            paragraph.append(line)
            continue
        if any(ln.startswith(" ") for ln in paragraph):
            out += ["::", ""] + ["    " + ln for ln in paragraph]
        else:
            out += [re.sub(r"_(?=\W|$)", r"\\_", re.sub(r"([*`|\\])", r"\\\1", ln))
                    for ln in paragraph]
        out.append("")
        paragraph = []
    lines[:] = out


def setup(app):
    app.connect("autodoc-process-signature", _signature)
    app.connect("autodoc-process-docstring", _plain_text)
