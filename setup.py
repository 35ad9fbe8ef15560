"""The compiled half of the wavtrex package: the reader library's sources and
the extension, built by setuptools with pybind11's helpers (pyproject.toml
holds the rest)."""
import glob
import os
import sys

from pybind11.setup_helpers import ParallelCompile, Pybind11Extension, build_ext
from setuptools import setup
from setuptools.command.build_py import build_py

ParallelCompile("WAVTREX_JOBS", default=2).install()


class BuildPy(build_py):
    """Adds _built_for.py: the interpreter that a failed import names."""

    def run(self):
        super().run()
        with open(os.path.join(self.build_lib, "wavtrex", "_built_for.py"), "w") as f:
            f.write(f'EXECUTABLE = "{sys.executable}"\n'
                    f'VERSION = "{sys.version.split()[0]}"\n')


core = Pybind11Extension(
    "wavtrex._core",
    sorted(glob.glob("reader/*.cpp") + glob.glob("reader/formats/*.cpp")) +
    ["python/wavtrex_module.cpp"],
    include_dirs=["reader"], libraries=["z"], cxx_std=20)

# The build folder beside CMake's, not in its place.
setup(ext_modules=[core], cmdclass={"build_ext": build_ext, "build_py": BuildPy},
      options={"build": {"build_base": "build/setuptools"}})
