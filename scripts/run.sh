#!/bin/sh
# Installs what is needed, builds Vistrel and runs it. On an X display ($DISPLAY set) this starts
# the application there. Without a display it runs the headless demonstration: Vistrel
# broadcasting its grabber over a moving pattern on a private X server, and real camera clients
# (GStreamer and ffmpeg) recording it under build/demo.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" "$top/build" -DVISTREL_BUILD_TESTS=OFF -DVISTREL_BUILD_BENCH=OFF
stage="$top/build/stage"
if [ -n "${DISPLAY:-}" ]; then
    echo "== starting Vistrel on $DISPLAY (quit from its menu, or with Ctrl+Q)"
    QT_QPA_PLATFORM=xcb exec "$stage/bin/vistrel"
fi
exec "$top/scripts/demo.sh" "$stage" "$top/build/demo"
