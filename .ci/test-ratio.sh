#!/bin/sh
# Lines of test code (tests/, fuzz/, view/web/test/) against lines of product code (reader/,
# tool/, info/, python/, view/), over tracked code files only: expected outputs and
# committed inputs are data and do not count.
cd "$(dirname "$0")/.."
count() {
  git ls-files "$@" | grep -E '\.(c|cpp|h|py|pyi|sh|pl|cmake|in|toml|js|mjs|ts)$|CMakeLists\.txt$|/setup$' |
    xargs cat 2>/dev/null | wc -l
}
tests=$(count tests fuzz view/web/test)
code=$(count reader tool info python view ':(exclude)view/web/test')
awk -v t="$tests" -v c="$code" 'BEGIN { printf "tests %d, code %d, ratio %.3f\n", t, c, t / c }'
