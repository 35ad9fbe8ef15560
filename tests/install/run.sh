#!/bin/sh
# Installs the build into a scratch prefix, then builds a small C program
# against it through find_package and runs it (the doc runner builds
# docs/c-library.md's program through pkg-config).
#   sh run.sh BUILD_DIR SCRATCH_DIR SAMPLE_WRITER C_COMPILER
set -e
build=$1 scratch=$2 sample=$3 cc=$4 prefix=$2/prefix
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$scratch" && mkdir -p "$scratch"
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log"
"$sample" "$scratch/sample.tr0"

expect="post 9601, 5 signals"
check() {
    got=$("$@" "$scratch/sample.tr0") || { echo "FAILED: $1 exited with $?"; exit 1; }
    [ "$got" = "$expect" ] || { echo "FAILED: $1 printed '$got', not '$expect'"; exit 1; }
}

cmake -S "$here" -B "$scratch/consumer" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_C_COMPILER="$cc" >"$scratch/consumer.log"
cmake --build "$scratch/consumer" >>"$scratch/consumer.log"
check "$scratch/consumer/consumer_shared"
check "$scratch/consumer/consumer_static"
readelf -d "$scratch/consumer/consumer_shared" | grep -q 'NEEDED.*libwavtrex\.so\.1\]' ||
    { echo "FAILED: the consumer does not need libwavtrex.so.1"; exit 1; }

# Only the public functions leave the shared library.
libdir=$(dirname "$(find "$prefix" -name libwavtrex.so)")
leaked=$(nm -D --defined-only "$libdir/libwavtrex.so" | awk '$3 !~ /^wfx/ {print $3}')
[ -z "$leaked" ] || { echo "FAILED: exported beyond wfx*: $leaked"; exit 1; }
for f in bin/wavtrex bin/wavtrex-info share/man/man1/wavtrex.1 share/man/man1/wavtrex-info.1 \
    share/man/man1/wavtrex-batch.1; do
    [ -f "$prefix/$f" ] || { echo "FAILED: $f not installed"; exit 1; }
done
echo "installed and consumed through find_package"
