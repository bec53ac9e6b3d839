#!/bin/sh
# Non-blank, non-comment lines of tests/ against everything outside tests/ and bench/ (of the
# tree given, else this one).
set -eu
cd "${1:-$(dirname "$0")/..}"
count() {
    git ls-files "$@" | grep -E '\.(c|cpp|h|sh|cmake)$|CMakeLists\.txt$' |
        xargs cat | grep -vE '^\s*($|//|#( |$))' | wc -l
}
tests=$(count tests)
code=$(count ':!tests' ':!bench')
echo "tests $tests, code $code: $((100 * tests / code))%"
