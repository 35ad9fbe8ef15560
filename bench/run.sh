#!/bin/sh
# Runs every timing harness in the given build folder.
build=${1:-build-release}
"$build/bench/read_bench" || exit 1
"$build/bench/convert_bench" || exit 1
exit 0
