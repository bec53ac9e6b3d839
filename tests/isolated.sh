#!/bin/sh
# Runs a test in a private mount namespace with fresh /tmp and /dev/shm, and a home of its own.
# As root this is a plain mount namespace; otherwise a user namespace provides one. Where neither
# is possible the test runs as it is (CTest serialises the tests in that case).
set -eu
if [ "${VISTREL_ISOLATED:-}" != 1 ]; then
    export VISTREL_ISOLATED=1
    if [ "$(id -u)" = 0 ] && unshare --mount --propagation private true 2>/dev/null; then
        exec unshare --mount --propagation private "$0" "$@"
    elif unshare --map-root-user --mount --propagation private true 2>/dev/null; then
        exec unshare --map-root-user --mount --propagation private "$0" "$@"
    fi
    echo "isolated.sh: no private mount namespace here; running unisolated" >&2
    home=$(mktemp -d)
else
    # A checkout or build tree that lives under /tmp must stay reachable: keep the old /tmp open,
    # cover it, and bind the tree's top folder back in. The channel's own file stays private.
    keep=""
    for path in "$(pwd)" "$(dirname "$(readlink -f "$0")")" "$(readlink -f "$1" || echo "$1")"; do
        case $path in
        /tmp/?*) top=${path#/tmp/}; keep="$keep ${top%%/*}" ;;
        esac
    done
    exec 3</tmp
    mount -t tmpfs -o mode=1777 tmpfs /tmp
    for top in $keep; do
        [ -e "/tmp/$top" ] && continue
        mkdir -p "/tmp/$top"
        mount --no-canonicalize --bind "/proc/self/fd/3/$top" "/tmp/$top"
    done
    exec 3<&-
    mount -t tmpfs -o mode=1777 tmpfs /dev/shm
    # An installed Vistrel stays out of sight: tests see only the components and filters they
    # install themselves.
    for folder in /usr/local/lib/*/vistrel /usr/lib/*/vistrel; do
        if [ -d "$folder" ]; then mount -t tmpfs -o mode=755 tmpfs "$folder"; fi
    done
    home=/tmp/home
    mkdir -p "$home"
fi
export HOME="$home" XDG_DATA_HOME="$home/.local/share" XDG_STATE_HOME="$home/.local/state"
export XDG_CONFIG_HOME="$home/.config"
# The session's private folder, where the channel moves when another user holds its names.
mkdir -p -m 700 "$home/run"
export XDG_RUNTIME_DIR="$home/run"
unset VISTREL_SYSTEM_VERSION
# Tests of an X11 desktop stay on it when run from a Wayland session; the Wayland ones say so.
unset WAYLAND_DISPLAY XDG_SESSION_TYPE
exec "$@"
