"""The compiled half of the wavtrex package and the programs, from one CMake
build (build/pip) for the interpreter running pip: the extension goes into
the package, the programs into the environment's bin, where wavtrex-batch
finds them (pyproject.toml holds the rest)."""
import glob
import os
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext
from setuptools.command.build_py import build_py

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.path.join(HERE, "build", "pip")
# The viewer's program too, where this tree has it.
PROGRAMS = ["wavtrex", "wavtrex-info", "wavtrex-view"]


class BuildPy(build_py):
    """Adds _built_for.py: the interpreter that a failed import names."""

    def run(self):
        super().run()
        with open(os.path.join(self.build_lib, "wavtrex", "_built_for.py"), "w") as f:
            f.write(f'EXECUTABLE = "{sys.executable}"\n'
                    f'VERSION = "{sys.version.split()[0]}"\n')


def _pybind11_dir():
    """pybind11's CMake files from a pip-installed pybind11, if any (Debian's
    pybind11-dev puts them where CMake looks by itself)."""
    try:
        import pybind11
        return [f"-Dpybind11_DIR={pybind11.get_cmake_dir()}"]
    except (ImportError, AttributeError):
        return []


class CMakeBuild(build_ext):
    """Runs CMake once for the module and the programs, then hands the
    programs to install_data (bin of the environment)."""

    def build_extension(self, ext):
        jobs = os.environ.get("WAVTREX_JOBS", "2")
        subprocess.run(["cmake", "-S", HERE, "-B", BUILD, "-DCMAKE_BUILD_TYPE=Release",
                        "-DWAVTREX_TESTS=OFF", "-DWAVTREX_PYTHON=ON",
                        f"-DPython_EXECUTABLE={sys.executable}", *_pybind11_dir()],
                       check=True, stdout=subprocess.DEVNULL)
        targets = ["wavtrex_python"] + [p for p in PROGRAMS if self._has_target(p)]
        subprocess.run(["cmake", "--build", BUILD, "-j", jobs, "--target", *targets], check=True)
        module = glob.glob(os.path.join(BUILD, "python", "wavtrex", "_core*"))[0]
        os.makedirs(os.path.dirname(self.get_ext_fullpath(ext.name)), exist_ok=True)
        shutil.copy2(module, self.get_ext_fullpath(ext.name))
        # The viewer is built in its own folder, the others at the top.
        programs = [os.path.join(BUILD, "view" if p == "wavtrex-view" else "", p)
                    for p in targets[1:]]
        self.distribution.data_files.append(("bin", programs))

    @staticmethod
    def _has_target(name):
        run = subprocess.run(["cmake", "--build", BUILD, "--target", "help"],
                             capture_output=True, text=True, check=True)
        return any(line.split(":")[0].strip(". ") == name for line in run.stdout.splitlines())


# The build folder beside CMake's, not in its place. data_files is filled by
# the build: install_data holds the same list.
setup(ext_modules=[Extension("wavtrex._core", sources=[])], data_files=[],
      cmdclass={"build_ext": CMakeBuild, "build_py": BuildPy},
      options={"build": {"build_base": "build/setuptools"}})
