# One entry point for people and CI.
#   make demo   build and convert the bundled sample
#   make plot   the demo, then a PNG of its curves (demo/rc_ladder.png)
#   make python the Python module, importable from build/python
#   make test   build plain and sanitized, run every test (and fuzz smoke runs with clang),
#               then the Windows cross build and its golden runs under Wine
#   make bench  build optimised and run the timing harnesses
#   make prove-format  compare the number formatter with printf on all 2^32 floats
#   make fuzz   longer libFuzzer runs (FUZZ_SECONDS per target)
#   make coverage  line and branch coverage of reader/ and tool/ by the plain suite
#   make lint   whitespace checks; make tidy: clang-tidy over the sources (findings fail)
#   make format-check   where clang-format would change a tracked source
#   make windows       cross build wavtrex.exe for 64-bit Windows (build-windows/)
#   make test-windows  that build, plus the golden runs under Wine
#   make install PREFIX=...   programs, man pages, the reader library and its
#               header, pkg-config and CMake package files, the Python module
#               (DESTDIR honoured)

JOBS ?= 2
DEPS := cmake g++ make zlib1g-dev libgtest-dev clang-tidy pybind11-dev python3-dev python3-numpy \
  python3-pytest
# The interpreter the Python module is built for and tested with: Debian's,
# which the python3-* packages serve.
PYTHON ?= /usr/bin/python3
BUILD_OPTIONS = -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWAVTREX_WERROR=ON \
  -DWAVTREX_PYTHON=ON -DPython_EXECUTABLE=$(PYTHON)
FUZZ_SECONDS ?= 300
WINDOWS_DEPS := cmake make g++-mingw-w64-x86-64 libz-mingw-w64-dev
WINE_DEPS := wine wine64
PREFIX ?= /usr/local

.PHONY: all deps build python demo plot test bench prove-format fuzz coverage windows test-windows format \
  format-check lint tidy clean install

all: build

# Installs missing Debian packages when run as root; otherwise says how.
deps:
	@missing=""; for p in $(DEPS); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing:$$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	  else \
	    echo "Missing build dependencies. Run:"; \
	    echo "  sudo apt-get install -y$$missing"; \
	    exit 1; \
	  fi; \
	fi

build: deps
	cmake -S . -B build $(BUILD_OPTIONS) >/dev/null
	cmake --build build -j $(JOBS)

python: deps
	cmake -S . -B build $(BUILD_OPTIONS) >/dev/null
	cmake --build build -j $(JOBS) --target wavtrex_python

# Only the converter and the sample maker; --no-print-directory keeps the
# nested makes from announcing every folder they enter.
demo: deps
	@cmake -S . -B build $(BUILD_OPTIONS) >/dev/null
	@cmake --build build -j $(JOBS) --target wavtrex demo_sample -- --no-print-directory
	@echo
	@sh demo/run.sh build

# The demo's curves as demo/rc_ladder.png; needs gnuplot (gnuplot-nox).
plot: demo
	@$(MAKE) --no-print-directory deps DEPS="$(DEPS) gnuplot-nox"
	@gnuplot -e "folder='build/demo-run/rc_ladder'" demo/plot.gp > demo/rc_ladder.png
	@echo "Wrote demo/rc_ladder.png"

# Many runs over Dask (tests/python/test_many.py) need these too.
test: build
	@$(MAKE) --no-print-directory deps DEPS="$(DEPS) python3-dask python3-distributed python3-xarray"
	@sh .ci/lint.sh
	@$(MAKE) --no-print-directory format-check
	@$(MAKE) --no-print-directory tidy
	ctest --test-dir build -j $(JOBS) --output-on-failure
	cmake -S . -B build-san -DCMAKE_BUILD_TYPE=Debug -DWAVTREX_SANITIZE=ON -DWAVTREX_WERROR=ON >/dev/null
	cmake --build build-san -j $(JOBS)
	ctest --test-dir build-san -j $(JOBS) --output-on-failure
	@sh fuzz/smoke.sh
	@$(MAKE) --no-print-directory test-windows

install: build
	cmake --install build --prefix "$(PREFIX)"

bench: deps
	cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build build-release -j $(JOBS)
	@sh bench/run.sh build-release

prove-format: deps
	cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build build-release -j $(JOBS) --target prove_format
	build-release/tests/prove_format

fuzz: deps
	@FUZZ_SECONDS=$(FUZZ_SECONDS) sh fuzz/smoke.sh

# Throw and unreachable branches are left out: they are the compiler's, not ours.
# Two tests cannot run instrumented: the installed library's consumer lacks the
# coverage runtime, and a file-size limit stops the counters being written.
coverage:
	@$(MAKE) --no-print-directory deps DEPS="$(DEPS) gcovr"
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
	git ls-files 'reader/*.cpp' 'tool/*.cpp' 'info/*.cpp' | xargs -P $(JOBS) -n 4 clang-tidy -p build --quiet

clean:
	rm -rf build build-san build-release build-fuzz build-windows build-cov
