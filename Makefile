# One entry point for people and CI.
#   make demo   build and convert the bundled sample
#   make plot   the demo, then a PNG of its curves (demo/rc_ladder.png)
#   make view   build wavtrex-view and open the demo's sample in the browser
#   make python the Python module, importable from build/python
#   make check  the quick loop: the plain build, its unit, golden, Python and
#               documentation example tests (no install tests, sanitizers, Wine,
#               fuzz runs or tidy)
#   make test   build plain and sanitized, run every test (and fuzz smoke runs with clang),
#               then the Windows cross build and its golden runs under Wine
#   make docs   the Python API reference as HTML (build/docs/html/index.html)
#   make bench  build optimised and run the timing harnesses
#   make prove-format  compare the number formatter with printf on all 2^32 floats
#   make fuzz   longer libFuzzer runs (FUZZ_SECONDS per target)
#   make coverage  line and branch coverage of reader/ and tool/ by the plain suite
#   make mutate     each fault of .ci/mutations.tsv on a throwaway copy: caught or not
#   make lint   whitespace checks; make tidy: clang-tidy over the sources (findings fail)
#   make format-check   where clang-format would change a tracked source
#   make windows       cross build wavtrex.exe for 64-bit Windows (build-windows/)
#   make test-windows  that build, plus the golden runs under Wine
#   make install PREFIX=...   programs, man pages, the reader library and its
#               header, pkg-config and CMake package files, the Python module
#               (DESTDIR honoured)

JOBS ?= 2
# What each target installs: only the packages it uses. The demo needs a
# compiler, CMake, make and zlib; the Python module pybind11 and NumPy; the
# tests everything else.
BUILD_DEPS := cmake g++ make zlib1g-dev
PYTHON_DEPS := $(BUILD_DEPS) pybind11-dev python3-dev python3-numpy
# Many runs over Dask (tests/python/test_many.py) need python3-dask and
# python3-distributed.
TEST_DEPS := $(PYTHON_DEPS) libgtest-dev clang-tidy clang-format python3-pytest python3-pandas \
  python3-xarray python3-venv python3-setuptools python3-pybind11 python3-dask python3-distributed \
  python3-sphinx pkgconf
# The viewer: cpp-httplib (found through pkg-config), Chromium for its
# browser test, and Node with npm, from Debian only where no node is installed
# (a Node from elsewhere brings its own npm, which Debian's would clash with).
VIEW_DEPS := $(BUILD_DEPS) libcpp-httplib-dev pkgconf $(if $(shell command -v npm),,nodejs npm)
TEST_DEPS += $(VIEW_DEPS) chromium
DEPS := $(BUILD_DEPS)
# The interpreter the Python module is built for and tested with: Debian's,
# which the python3-* packages serve.
PYTHON ?= /usr/bin/python3
BUILD_OPTIONS = -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWAVTREX_WERROR=ON -DWAVTREX_TESTS=ON \
  -DWAVTREX_PYTHON=ON -DPython_EXECUTABLE=$(PYTHON) -DWAVTREX_VIEW=ON
# A build folder made by the demo, the module or the install leaves out what
# they do not use; make test turns it on again.
FIRST_OPTIONS = $(if $(wildcard build/CMakeCache.txt),,-DCMAKE_BUILD_TYPE=RelWithDebInfo -DWAVTREX_TESTS=OFF)
PYTHON_OPTIONS = -DWAVTREX_PYTHON=ON -DPython_EXECUTABLE=$(PYTHON)
FUZZ_SECONDS ?= 300
WINDOWS_DEPS := cmake make g++-mingw-w64-x86-64 libz-mingw-w64-dev
WINE_DEPS := wine wine64
PREFIX ?= /usr/local
TIDY = git ls-files 'reader/*.cpp' 'tool/*.cpp' 'info/*.cpp' 'view/*.cpp' | xargs -P $(JOBS) -n 4 clang-tidy -p build --quiet
STAGE = sh .ci/stage.sh

.PHONY: all deps build python demo plot view check test docs bench prove-format fuzz coverage windows \
  test-windows format \
  format-check lint tidy clean install

all: build

# Installs the missing ones of DEPS, quietly, when run as root; otherwise
# says how. Without dpkg (not Debian) the packages are the user's business.
deps:
	@command -v dpkg-query >/dev/null 2>&1 || exit 0; \
	missing=""; for p in $(DEPS); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing:$$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive \
	      apt-get install -y -qq --no-install-recommends $$missing >/dev/null || exit 1; \
	  else \
	    echo "Missing build dependencies. Run:"; \
	    echo "  sudo apt-get install -y --no-install-recommends$$missing"; \
	    exit 1; \
	  fi; \
	fi

build:
	@$(MAKE) --no-print-directory deps DEPS="$(TEST_DEPS)"
	cmake -S . -B build $(BUILD_OPTIONS) >/dev/null
	cmake --build build -j $(JOBS)

python:
	@$(MAKE) --no-print-directory deps DEPS="$(PYTHON_DEPS)"
	cmake -S . -B build $(FIRST_OPTIONS) $(PYTHON_OPTIONS) >/dev/null
	cmake --build build -j $(JOBS) --target wavtrex_python -- --no-print-directory

# Only the converter, wavtrex-info and the sample maker; --no-print-directory keeps the
# nested makes from announcing every folder they enter.
demo: deps
	@cmake -S . -B build $(FIRST_OPTIONS) >/dev/null
	@cmake --build build -j $(JOBS) --target wavtrex wavtrex-info demo_sample -- --no-print-directory
	@echo
	@sh demo/run.sh build

# The demo's curves as demo/rc_ladder.png; needs gnuplot (gnuplot-nox).
plot: demo
	@$(MAKE) --no-print-directory deps DEPS="gnuplot-nox"
	@gnuplot -e "folder='build/demo-run/rc_ladder'" demo/plot.gp > demo/rc_ladder.png
	@echo "Wrote demo/rc_ladder.png"

# The viewer on the demo's sample, in the desktop's browser; Ctrl-C ends it.
view:
	@$(MAKE) --no-print-directory deps DEPS="$(VIEW_DEPS)"
	@cmake -S . -B build $(FIRST_OPTIONS) -DWAVTREX_VIEW=ON >/dev/null
	@cmake --build build -j $(JOBS) --target wavtrex-view demo_sample -- --no-print-directory
	@build/demo_sample build/rc_ladder.tr0
	build/view/wavtrex-view build/rc_ladder.tr0 --open

# One line per stage with its time; a stage's output only when it fails.
check:
	@$(MAKE) --no-print-directory deps DEPS="$(TEST_DEPS)"
	@$(STAGE) build sh -c 'cmake -S . -B build $(BUILD_OPTIONS) && cmake --build build -j $(JOBS)'
	@$(STAGE) tests ctest --test-dir build -j $(JOBS) --output-on-failure \
	  -E '^(python_pip_install|install_consumer)$$'

# The Python API reference, from the docstrings and the stubs (Sphinx).
docs: python
	@$(MAKE) --no-print-directory deps DEPS="python3-sphinx"
	@PYTHONPATH=build/python $(PYTHON) -m sphinx -W -q -b html -d build/docs/doctrees docs/api build/docs/html
	@echo "Wrote build/docs/html/index.html"

test:
	@$(MAKE) --no-print-directory deps DEPS="$(TEST_DEPS)"
	@$(STAGE) build sh -c 'cmake -S . -B build $(BUILD_OPTIONS) && cmake --build build -j $(JOBS)'
	@$(STAGE) lint sh .ci/lint.sh
	@$(STAGE) format-check $(MAKE) --no-print-directory format-check
	@$(STAGE) clang-tidy sh -c "$(TIDY)"
	@$(STAGE) tests ctest --test-dir build -j $(JOBS) --output-on-failure
	@$(STAGE) "sanitized build" sh -c 'cmake -S . -B build-san -DCMAKE_BUILD_TYPE=Debug \
	  -DWAVTREX_SANITIZE=ON -DWAVTREX_WERROR=ON && cmake --build build-san -j $(JOBS)'
	@$(STAGE) "sanitized tests" ctest --test-dir build-san -j $(JOBS) --output-on-failure
	@$(STAGE) "fuzz smoke runs" sh fuzz/smoke.sh
	@$(STAGE) "windows build" $(MAKE) --no-print-directory windows
	@$(STAGE) "windows golden runs (wine)" $(MAKE) --no-print-directory test-windows

# Quiet: the build's progress and the files installed, no nested make's
# folder lines.
install:
	@$(MAKE) --no-print-directory deps DEPS="$(PYTHON_DEPS)"
	@cmake -S . -B build $(FIRST_OPTIONS) $(PYTHON_OPTIONS) >/dev/null
	@cmake --build build -j $(JOBS) -- --no-print-directory
	@cmake --install build --prefix "$(PREFIX)"

bench:
	@$(MAKE) --no-print-directory deps DEPS="$(PYTHON_DEPS) $(VIEW_DEPS) chromium python3-xarray python3-dask python3-distributed"
	cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DWAVTREX_TESTS=OFF $(PYTHON_OPTIONS) \
	  -DWAVTREX_VIEW=ON >/dev/null
	cmake --build build-release -j $(JOBS)
	@PYTHON=$(PYTHON) sh bench/run.sh build-release

prove-format:
	@$(MAKE) --no-print-directory deps DEPS="$(BUILD_DEPS) libgtest-dev"
	cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DWAVTREX_TESTS=ON >/dev/null
	cmake --build build-release -j $(JOBS) --target prove_format
	build-release/tests/prove_format

fuzz: deps
	@FUZZ_SECONDS=$(FUZZ_SECONDS) sh fuzz/smoke.sh

# Throw and unreachable branches are left out: they are the compiler's, not ours.
# Two tests cannot run instrumented: the installed library's consumer lacks the
# coverage runtime, and a file-size limit stops the counters being written.
coverage:
	@$(MAKE) --no-print-directory deps DEPS="$(TEST_DEPS) gcovr"
	cmake -S . -B build-cov -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=--coverage \
	  -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage \
	  -DCMAKE_MODULE_LINKER_FLAGS=--coverage >/dev/null
	cmake --build build-cov -j $(JOBS)
	find build-cov -name '*.gcda' -delete
	ctest --test-dir build-cov -j $(JOBS) --timeout 600 --output-on-failure \
	  -E '^(install_consumer|golden_post-file-size-limit)$$'
	gcovr -r . --object-directory build-cov --exclude-directories 'build-windows' \
	  --filter 'reader/' --filter 'tool/' \
	  --exclude-throw-branches --exclude-unreachable-branches --print-summary -o build-cov/coverage.txt

# The copy (build-mutate/src) is the tracked files as they stand, edits
# included, so the tree itself is never changed; build-mutate/result.txt
# keeps the verdicts. Fails when a fault survives, is not found or breaks the
# build. About an hour on a quiet machine.
.PHONY: mutate
mutate:
	@$(MAKE) --no-print-directory deps DEPS="$(TEST_DEPS)"
	rm -rf build-mutate && mkdir -p build-mutate/src
	git ls-files -z | tar --null --ignore-failed-read -T - -cf - | tar -xf - -C build-mutate/src
	cmake -S build-mutate/src -B build-mutate/build $(BUILD_OPTIONS) >/dev/null
	cmake --build build-mutate/build -j $(JOBS) >/dev/null
	sh .ci/mutate.sh build-mutate/src build-mutate/build | tee build-mutate/result.txt
	@! grep -Eq '^(SURVIVED|not found|no build)' build-mutate/result.txt

windows:
	@$(MAKE) --no-print-directory deps DEPS="$(WINDOWS_DEPS)"
	cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DWAVTREX_WERROR=ON >/dev/null
	cmake --build build-windows -j $(JOBS)

test-windows: windows
	@$(MAKE) --no-print-directory deps DEPS="$(WINE_DEPS)"
	@sh tests/windows/run.sh build-windows

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

format-check:
	clang-format --dry-run --Werror $$(git ls-files '*.cpp' '*.h')

lint:
	@sh .ci/lint.sh
	@$(MAKE) --no-print-directory format-check

# The checks in .clang-tidy are errors; a few files at a time on $(JOBS) cores.
tidy: build
	$(TIDY)

clean:
	rm -rf build build-san build-release build-fuzz build-windows build-cov
