#!/bin/sh
# Converts the bundled RC ladder sample the three ways the tool is run, in a
# scratch folder inside the build folder. Every command is printed as it is
# run, so the transcript can be replayed by hand from the repository root.
#   usage: sh demo/run.sh <build folder>   (from the repository root)
set -e
build=$1
demo=$(dirname "$0")
run=$build/demo-run

# Prints a command, then runs it.
show() {
    echo "\$ $*"
    "$@"
}

rm -rf "$run"
mkdir -p "$run"
config=$(realpath --relative-to="$run" "$demo/rc_ladder.tcc")
echo "Built $build/wavtrex (the converter), $build/wavtrex-info and $build/demo_sample (the sample maker)."
echo
show cd "$run"
show ../demo_sample rc_ladder.tr0
show ../demo_sample rc_ladder.raw    # the same circuit as ngspice's raw file
show cp "$config" .
echo
echo "# List the signals only:"
show ../wavtrex -t rc_ladder.tr0
show cat rc_ladder/wavtrex.curlist
echo
echo "# Write the curves the configuration asks for:"
show ../wavtrex rc_ladder.tcc
show ls rc_ladder/ports rc_ladder/ladder
echo
echo "# Write every signal (the current i(r1) is no voltage, hence the warning):"
show ../wavtrex rc_ladder.tr0
show ls rc_ladder
echo
echo "# A curve file: header, one \"time value\" line per sample, End line."
show head -n 8 rc_ladder/out.cur
show tail -n 3 rc_ladder/out.cur
