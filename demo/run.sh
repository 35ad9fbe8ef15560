#!/bin/sh
# Converts the bundled RC ladder sample the three ways the tool is run, in a
# scratch folder beside the binary.
#   usage: sh demo/run.sh <wavtrex binary> <demo_sample binary>
set -e
absolute() { (cd "$(dirname "$1")" && echo "$(pwd)/$(basename "$1")"); }
tool=$(absolute "$1")
sample=$(absolute "$2")
demo=$(cd "$(dirname "$0")" && pwd)
run=$(dirname "$tool")/demo-run

rm -rf "$run"
mkdir -p "$run"
cd "$run"
"$sample" rc_ladder.tr0
cp "$demo/rc_ladder.tcc" .

echo "In $run:"
echo
echo '$ wavtrex -t rc_ladder.tr0      # list the signals only'
"$tool" -t rc_ladder.tr0
cat rc_ladder/wavtrex.curlist
echo
echo '$ wavtrex rc_ladder.tcc         # the curves the configuration asks for'
"$tool" rc_ladder.tcc
find rc_ladder -name '*.cur' | sort
echo
echo '$ wavtrex rc_ladder.tr0         # every signal (the current warns: not a voltage)'
"$tool" rc_ladder.tr0
find rc_ladder -maxdepth 1 -name '*.cur' | sort
echo
echo "First lines of $run/rc_ladder/ports/vout.cur:"
head -n 10 rc_ladder/ports/vout.cur
