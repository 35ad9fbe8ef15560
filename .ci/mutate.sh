#!/bin/sh
# Applies each hand-made fault of a mutation list to a source tree, rebuilds
# and runs the plain suite; prints "caught" or "SURVIVED" per fault. A fault
# that fails to build is reported as such, not as caught. A row whose fifth
# column says why no file can tell the fault apart is "equivalent" when it
# survives. MUTATE_TARGETS, when
# set, names the build targets the suite needs (fewer links per fault). The
# pip install test is left out (it builds the whole tree again and reads
# nothing the module test does not), and the time limit is generous: a test
# cut short by a busy machine would pass for a caught fault.
#   sh .ci/mutate.sh SOURCE BUILD [LIST]   (BUILD configured from SOURCE)
# `make mutate` runs it on a throwaway copy of the tree.
src=${1:?source tree}
build=${2:?build folder}
list=${3:-$(dirname "$0")/mutations.tsv}
tab=$(printf '\t')
grep -v '^#' "$list" | while IFS="$tab" read -r file find replace what why; do
    cp "$src/$file" "$src/$file.orig"
    if ! FIND="$find" REPLACE="$replace" perl -0pi -e \
        '$n = s/\Q$ENV{FIND}\E/$ENV{REPLACE}/; END { exit($n ? 0 : 1) }' "$src/$file"; then
        echo "not found: $file: $what"
    # shellcheck disable=SC2086
    elif ! cmake --build "$build" -j 2 ${MUTATE_TARGETS:+--target $MUTATE_TARGETS} >/dev/null 2>&1; then
        echo "no build:  $file: $what"
    elif ctest --test-dir "$build" -j 2 --timeout 600 --stop-on-failure \
        -E '^python_pip_install$' >/dev/null 2>&1; then
        if [ -n "$why" ]; then echo "equivalent: $file: $what ($why)"; else echo "SURVIVED:  $file: $what"; fi
    else
        echo "caught:    $file: $what"
    fi
    mv "$src/$file.orig" "$src/$file"
    touch "$src/$file"
done
cmake --build "$build" -j 2 >/dev/null 2>&1
