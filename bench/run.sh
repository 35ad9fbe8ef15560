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
# The viewer (built with WAVTREX_VIEW): a wide file stands for the 4 GB one
# at 1/50 of its size (opening reads headers only; the first signal is timed
# against a selective read of the same file), a spike in 10^7 points, and
# the page's pan in headless Chromium over 8 signals of 10^6 points.
if [ -x "$build/bench/view_bench" ]; then
    files=$(mktemp -d "${TMPDIR:-/tmp}/wavtrex_view_bench.XXXXXX") || exit 1
    trap 'rm -f "$file"; rm -rf "$files"' EXIT
    "$build/bench/make_spike" "$files/wide.tr0" 20000 1000 &&
        "$build/bench/make_spike" "$files/spike.tr0" 10000000 1 &&
        "$build/bench/view_bench" "$files/wide.tr0" "$files/spike.tr0" || exit 1
    rm -f "$files/wide.tr0" "$files/spike.tr0"
    "$build/bench/make_spike" "$files/eight.tr0" 1000000 8 &&
        node "$(dirname "$0")/view_frames.mjs" "$build/view/wavtrex-view" "$files/eight.tr0" || exit 1
fi
exit 0
