#!/bin/sh
# Golden runs of a program: the converter's cases are the folders below
# tests/golden/cases/, wavtrex-info's those below tests/info/. A case holds:
#   args    the command-line arguments, one per line (an empty line is "")
#   in/     copied into a scratch working folder; setup (optional) is then run
#           there with sh, for inputs a file cannot hold (empty folders, huge
#           files, links, FIFOs, files of the fuzz seed corpus in $WAVTREX_CORPUS);
#           ulimit (optional) holds ulimit options for the run; full
#           (optional) "FOLDER PAGES": FOLDER lies on a file system with PAGES
#           free pages for the run, a full disk (full.sh; skipped where no
#           user namespace can mount one)
#   expect/ every file the run creates or changes, by its path below the working
#           folder; an empty folder holds a file ".empty"
#   stdout, stderr, status   the console texts, exactly, and the exit status
# "@WAVTREX@" in the expected texts stands for the binary as it was called.
#   sh run.sh [-u] BINARY CASE...   -u rewrites the expected files from the run
# BINARY may carry a launcher ("wine wavtrex.exe"). GOLDEN_TRANSFORM, when set,
# is a filter (run by sh, stdin to stdout, with GOLDEN_FILE set to stdout,
# stderr or the path below expect/) that turns the expected bytes into what
# this platform should produce.
update=0
if [ "$1" = -u ]; then update=1; shift; fi
binary=$1
shift
failed=0
skipped=0
total=$#
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d) || exit 1
trap 'rm -rf "$scratch"' EXIT
for case in "$@"; do
    case=$(cd "$case" && pwd)
    rm -rf "$scratch"/*
    mkdir "$scratch/work" "$scratch/want"
    [ -d "$case/in" ] && cp -R "$case/in/." "$scratch/work/"
    if [ -f "$case/setup" ]; then (cd "$scratch/work" && sh "$case/setup"); fi
    cp -R "$scratch/work" "$scratch/before"
    set --
    while IFS= read -r arg; do set -- "$@" "$arg"; done <"$case/args"
    limits=$(cat "$case/ulimit" 2>/dev/null)
    launch=
    if [ -f "$case/full" ]; then
        if ! unshare -rm true 2>/dev/null; then
            echo "skipped: $case (no mount namespace for a full file system)"
            skipped=$((skipped + 1))
            continue
        fi
        launch="unshare -rm sh $here/full.sh $(cat "$case/full")"
    fi
    # shellcheck disable=SC2086 # the binary may carry a launcher, limits options
    (cd "$scratch/work" && trap '' XFSZ && ulimit ${limits:--a} >/dev/null &&
        $launch $binary "$@" >"$scratch/stdout" 2>"$scratch/stderr")
    echo $? >"$scratch/status"
    # Keep what the run made or changed, and mark the folders it left empty.
    find "$scratch/work" ! -type f ! -type d -exec rm {} +
    (cd "$scratch/before" && find . -type f) | while IFS= read -r f; do
        cmp -s "$scratch/before/$f" "$scratch/work/$f" && rm "$scratch/work/$f"
    done
    (cd "$scratch/before" && find . -mindepth 1 -type d | sort -r) | while IFS= read -r d; do
        rmdir "$scratch/work/$d" 2>/dev/null
    done
    find "$scratch/work" -mindepth 1 -type d -empty -exec touch {}/.empty \;
    if [ $update = 1 ]; then
        rm -rf "$case/expect"
        cp -R "$scratch/work" "$case/expect"
        rmdir "$case/expect" 2>/dev/null
        for f in stdout stderr; do sed "s|$binary|@WAVTREX@|g" "$scratch/$f" >"$case/$f"; done
        cp "$scratch/status" "$case/status"
        continue
    fi
    (cd "$case" && find expect -type f 2>/dev/null; echo stdout; echo stderr) | while IFS= read -r f; do
        mkdir -p "$(dirname "$scratch/want/$f")"
        sed "s|@WAVTREX@|$binary|g" "$case/$f" |
            GOLDEN_FILE=${f#expect/} sh -c "${GOLDEN_TRANSFORM:-cat}" >"$scratch/want/$f"
    done
    mkdir -p "$scratch/want/expect"
    cp "$case/status" "$scratch/want/status"
    mkdir "$scratch/have" && mv "$scratch/work" "$scratch/have/expect"
    for f in stdout stderr status; do mv "$scratch/$f" "$scratch/have/$f"; done
    if ! diff -r "$scratch/want" "$scratch/have" >"$scratch/diff"; then
        echo "FAILED: $case"
        head -c 4000 "$scratch/diff"
        failed=$((failed + 1))
    fi
done
[ $update = 1 ] || echo "golden: $total cases, $failed failed, $skipped skipped"
[ $failed = 0 ] || exit 1
# Nothing run at all: a skip for CTest.
[ $skipped != "$total" ] || exit 77
