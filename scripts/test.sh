#!/bin/sh
# Installs what is needed, builds from scratch and runs every test twice: in the normal build and
# in the AddressSanitizer + UndefinedBehaviorSanitizer build.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
jobs=$(nproc)
status=0
for variant in normal sanitize; do
    dir="$top/build-test-$variant"
    rm -rf "$dir"
    options=""
    [ "$variant" = sanitize ] && options="-DVISTREL_SANITIZE=ON -DVISTREL_BUILD_BENCH=OFF"
    echo "== $variant build"
    # shellcheck disable=SC2086
    "$top/scripts/build.sh" "$dir" $options
    echo "== $variant tests"
    (cd "$dir" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --output-on-failure -j "$jobs") || status=1
done
exit $status
