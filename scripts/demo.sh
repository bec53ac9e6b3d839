#!/bin/sh
# The headless demonstration: a private X server with a window manager, a moving pattern on it,
# Vistrel broadcasting its grabber over the pattern, and two real clients reading the camera:
# GStreamer (vistrelsrc) saves a still, ffmpeg (the frei0r source) records a clip.
# Usage: scripts/demo.sh STAGE OUT [SECONDS]
set -eu
stage=$1
out=$2
seconds=${3:-4}
# The private folder lib/<multiarch>/vistrel and its library folder.
private=$(echo "$stage"/lib/*/vistrel)
lib=$(dirname "$private")
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
pids=""
cleanup() {
    for p in $pids; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

# Vistrel's settings, its component link and the image filter's link stay in this private home.
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME/vistrel/image-units" "$XDG_DATA_HOME/vistrel/components"
ln -s "$private/image-units/CILookpaneInput.plugin" "$XDG_DATA_HOME/vistrel/image-units/"
# vistrelsrc opens the digitizer of VistrelXXX; the broadcast itself links VistrelX64.
ln -s "$private/VistrelXXX.component" "$XDG_DATA_HOME/vistrel/components/"
# A broadcast left on at quit is on again at the next start: the demo starts Vistrel that way.
printf '[Integers]\n_rebroadcastButton=1\n_allowCameraButton=1\n' \
    >"$XDG_CONFIG_HOME/com.tarnwick.Vistrel.conf"

echo "== private X server (Xvfb 1920x1080) with a window manager (openbox)"
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids="$!"
exec 3>&-
tries=0
until [ -s "$work/display" ]; do
    tries=$((tries + 1))
    [ "$tries" -le 100 ] || { echo "Xvfb did not start:" >&2; cat "$work/xvfb.log" >&2; exit 1; }
    sleep 0.1
done
export DISPLAY=":$(cat "$work/display")"
unset WAYLAND_DISPLAY
openbox >"$work/openbox.log" 2>&1 &
pids="$pids $!"

echo "== a moving pattern over the whole screen (GStreamer videotestsrc into an X window)"
gst-launch-1.0 -q videotestsrc pattern=smpte horizontal-speed=6 is-live=true \
    ! video/x-raw,width=1920,height=1080,framerate=30/1 ! ximagesink sync=false \
    >"$work/pattern.log" 2>&1 &
pattern=$!
pids="$pids $pattern"
sleep 1
if ! kill -0 "$pattern" 2>/dev/null; then
    echo "the pattern did not start:" >&2
    cat "$work/pattern.log" >&2
    exit 1
fi

echo "== Vistrel, broadcasting its grabber"
QT_QPA_PLATFORM=xcb "$stage/bin/vistrel" >"$work/vistrel.log" 2>&1 &
vistrel=$!
pids="$pids $vistrel"
tries=0
until "$stage/bin/vistrel-channel" read --wait 1 >/dev/null 2>&1; do
    tries=$((tries + 1))
    if [ "$tries" -gt 20 ] || ! kill -0 "$vistrel" 2>/dev/null; then
        echo "Vistrel did not start broadcasting:" >&2
        cat "$work/vistrel.log" >&2
        exit 1
    fi
done

echo "== 32-bit reader (the 32-bit half of the universal VistrelX64 component)"
# Decided by trying: the shell answers 126 when the kernel refuses to execute the program.
probe=0
"$private/i386/vistrel-channel" >/dev/null 2>&1 || probe=$?
if [ "$probe" = 126 ]; then
    echo "   skipped: this machine's kernel runs no 32-bit programs (the 32-bit half is built all the same)"
else
    "$private/i386/vistrel-channel" read --wait 2
fi

echo "== GStreamer client: one frame from vistrelsrc"
GST_PLUGIN_PATH="$lib/gstreamer-1.0" gst-launch-1.0 -q vistrelsrc num-buffers=1 \
    ! videoconvert ! pngenc ! filesink location="$work/still.png"
mv "$work/still.png" "$out/still.png"

echo "== ffmpeg client: $seconds seconds through the frei0r source"
FREI0R_PATH="$stage/lib/frei0r-1" ffmpeg -hide_banner -loglevel error -y -re -f lavfi \
    -i "frei0r_src=size=640x480:framerate=30:filter_name=cilookpaneinput:filter_params=" \
    -t "$seconds" -pix_fmt yuv420p "$work/clip.mp4"
mv "$work/clip.mp4" "$out/clip.mp4"

kill "$vistrel"
wait "$vistrel" 2>/dev/null || true
echo "Vistrel broadcast the pattern under its grabber. Saved:"
echo "  $out/still.png  (GStreamer, vistrelsrc)"
echo "  $out/clip.mp4   ($seconds s, ffmpeg through the frei0r source)"
