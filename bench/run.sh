#!/bin/sh
# Runs every timing harness in the given build folder. read_bench's file is
# kept for the Python harness (to_xarray against read), when the module is
# built there, and removed at the end.
build=${1:-build-release}
python=${PYTHON:-/usr/bin/python3}
file=$(mktemp "${TMPDIR:-/tmp}/wavtrex_bench.XXXXXX") || exit 1
trap 'rm -f "$file"' EXIT
"$build/bench/read_bench" "$file" --keep || exit 1
if [ -d "$build/python/wavtrex" ]; then
    PYTHONPATH=$build/python "$python" "$(dirname "$0")/frames_bench.py" "$file" || exit 1
fi
rm -f "$file"
"$build/bench/convert_bench" || exit 1
# Many runs over Dask (python3-dask and python3-distributed; else it says it skipped).
if [ -d "$build/python/wavtrex" ]; then
    "$python" "$(dirname "$0")/many_bench.py" "$build" || exit 1
fi
"$build/bench/spice_bench" || exit 1
exit 0
