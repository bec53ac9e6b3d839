#!/bin/sh
# Runs the channel benchmark in a private /tmp, /dev/shm and home: the channel's file path and
# semaphore names are fixed, so it must never meet a running broadcast or another run.
# usage: run_bench.sh CHANNEL_BENCH [benchmark options...]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
if [ $# -lt 1 ]; then
    echo "usage: $0 CHANNEL_BENCH [benchmark options...]" >&2
    exit 64
fi
bench=$1
shift
if [ $# -eq 0 ]; then
    set -- --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
fi
exec "$here/../tests/isolated.sh" "$bench" "$@"
