#!/bin/sh
# package.sh [build-dir] [cmake options...]: installs what the build needs, builds the Debian
# package vistrel from this source tree in its own build folder (default build-package) and prints
# the package's path.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh" >&2
dir=${1:-$top/build-package}
[ $# -gt 0 ] && shift
cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
    -DVISTREL_BUILD_TESTS=OFF -DVISTREL_BUILD_BENCH=OFF "$@" >/dev/null
cmake --build "$dir"
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/vistrel_*.deb
