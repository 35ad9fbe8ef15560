#!/bin/sh
# Trailing whitespace, missing final newline and CRLF in tracked text files.
cd "$(dirname "$0")/.." || exit 1
status=0
for f in $(git ls-files '*.cpp' '*.h' '*.in' '*.txt' '*.md' '*.sh' '*.tcc' Makefile .ci/run); do
    [ -f "$f" ] || continue
    if grep -n -E '[[:space:]]+$' "$f" | grep -v '^$' >/dev/null; then
        echo "$f: trailing whitespace"; status=1
    fi
    if [ -s "$f" ] && [ "$(tail -c 1 "$f" | od -An -c | tr -d ' ')" != '\n' ]; then
        echo "$f: no final newline"; status=1
    fi
done
exit $status
