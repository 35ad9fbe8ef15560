#!/bin/sh
# Builds the libFuzzer targets with clang and runs each one for FUZZ_SECONDS
# (default 30) on its seed corpus and kept regressions. Any crash, leak, hang
# or oversized allocation fails the run. Without clang it says so and passes.
#   FUZZ_SECONDS  seconds per target          FUZZ_TARGETS  targets to run
#   FUZZ_JOBS     build jobs (default 2)      FUZZ_MAX_LEN  longest input tried
cd "$(dirname "$0")/.." || exit 1
# Every target by default, as fuzz/CMakeLists.txt lists them (name=format).
ALL=$(sed -n '/^set(WAVTREX_FUZZ_FORMATS/,/)/p' fuzz/CMakeLists.txt | tr ' ()' '\n\n\n' |
    sed -n 's/=.*//p' | tr '\n' ' ')
TARGETS=${FUZZ_TARGETS:-$ALL}
BUILD=build-fuzz

probe=$(mktemp -d) && trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' \
    >"$probe/probe.cpp"
if ! command -v clang >/dev/null 2>&1 ||
    ! clang++ -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" >/dev/null 2>&1; then
    echo "fuzz smoke: skipped (needs clang and libFuzzer: install clang and libclang-rt-dev)"
    exit 0
fi

CC=clang CXX=clang++ cmake -S . -B $BUILD -DCMAKE_BUILD_TYPE=Debug -DWAVTREX_FUZZ=ON \
    -DWAVTREX_TESTS=OFF >/dev/null || exit 1
# shellcheck disable=SC2046
cmake --build $BUILD -j "${FUZZ_JOBS:-2}" --target $(for t in $TARGETS; do echo "${t}_fuzzer"; done) \
    >$BUILD/build.log 2>&1 || { tail -n 40 $BUILD/build.log; exit 1; }

status=0
for target in $TARGETS; do
    mkdir -p "$BUILD/work/$target" $BUILD/artifacts $BUILD/logs
    log=$BUILD/logs/$target.log
    # A single allocation above 256 MB is a finding: no input this small
    # justifies it. Leaks are reported by the sanitizer at the end of each input.
    # shellcheck disable=SC2046
    if nice -n 10 "$BUILD/fuzz/${target}_fuzzer" -max_total_time="${FUZZ_SECONDS:-30}" -timeout=10 \
        -rss_limit_mb=2048 -malloc_limit_mb=256 -print_final_stats=1 \
        ${FUZZ_MAX_LEN:+-max_len=$FUZZ_MAX_LEN} -artifact_prefix="$BUILD/artifacts/$target-" \
        "$BUILD/work/$target" "$BUILD/fuzz/corpus/$target" $(ls -d "fuzz/regressions/$target" 2>/dev/null) \
        >"$log" 2>&1; then
        echo "fuzz smoke: $target ok, $(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1) runs"
    else
        echo "fuzz smoke: $target FAILED, see $log"
        grep -E '^(==[0-9]+==ERROR|SUMMARY|artifact_prefix|Test unit written)' "$log" | head -n 5
        status=1
    fi
done
exit $status
