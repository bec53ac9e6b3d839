#!/bin/sh
# build.sh <build-dir> [cmake options...]: configures (once) and builds the tree.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
dir=$1
shift
cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$dir"
