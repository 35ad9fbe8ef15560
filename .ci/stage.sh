#!/bin/sh
# Runs one stage of make test and prints one line: its name, ok or FAILED,
# and its time. The stage's own output is shown only when it fails (a
# "skipped" line, as the fuzz runs print without clang, is passed on).
#   sh .ci/stage.sh NAME COMMAND [ARGUMENTS...]
name=$1
shift
log=$(mktemp) || exit 1
trap 'rm -f "$log"' EXIT
start=$(date +%s)
"$@" >"$log" 2>&1
status=$?
took=$(($(date +%s) - start))
time=$(printf '%d:%02d' $((took / 60)) $((took % 60)))
if [ $status -ne 0 ]; then
    printf '%-28s FAILED  %6s  (status %d):\n' "$name" "$time" $status
    # clang-tidy counts the warnings it hid in every file it checked.
    grep -v -E '^[0-9]+ warnings generated\.$' "$log"
    exit $status
fi
# Only a stage's own summary line ("NAME: ... skipped"); CMake's compiler checks
# say skipped too.
skipped=$(grep -m 1 -E '^[a-z ]+: .*skipped' "$log")
printf '%-28s ok      %6s%s\n' "$name" "$time" "${skipped:+  ($skipped)}"
