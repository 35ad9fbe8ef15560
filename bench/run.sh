#!/bin/sh
# Runs every timing harness in the given build folder.
"$1/bench/convert_bench"
exit 0
