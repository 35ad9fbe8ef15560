#!/bin/sh
# Golden runs of wavtrex-info. A case is a folder below tests/info/:
#   args     the arguments, one per line
#   setup    (optional) run with sh in a scratch working folder first; the
#            generated waveform files are in $WAVTREX_CORPUS (fuzz seeds)
#   stdout, stderr, status   the console texts and exit status, exactly
#   sh run.sh [-u] BINARY CASE...   -u rewrites the expected files from the run
update=0
if [ "$1" = -u ]; then update=1; shift; fi
binary=$1
shift
failed=0
scratch=$(mktemp -d) || exit 1
trap 'rm -rf "$scratch"' EXIT
for case in "$@"; do
    case=$(cd "$case" && pwd)
    rm -rf "$scratch/work" && mkdir "$scratch/work" "$scratch/got" 2>/dev/null
    if [ -f "$case/setup" ]; then (cd "$scratch/work" && sh -e "$case/setup") || exit 1; fi
    set --
    while IFS= read -r arg; do set -- "$@" "$arg"; done <"$case/args"
    (cd "$scratch/work" && "$binary" "$@" >"$scratch/got/stdout" 2>"$scratch/got/stderr")
    echo $? >"$scratch/got/status"
    for f in stdout stderr status; do
        if [ $update = 1 ]; then
            cp "$scratch/got/$f" "$case/$f"
        elif ! diff -u "$case/$f" "$scratch/got/$f"; then
            echo "FAILED: $case ($f)"
            failed=$((failed + 1))
        fi
    done
done
[ $failed = 0 ]
