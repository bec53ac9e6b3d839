#!/bin/sh
# Installs the Debian packages Vistrel needs to build, run and test. Safe to run again.
set -eu
packages="build-essential cmake ninja-build pkg-config g++-multilib libgtest-dev libgmock-dev
libbenchmark-dev libyuv-dev libpng-dev libpixman-1-dev util-linux binutils
libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools gstreamer1.0-plugins-base
gstreamer1.0-plugins-good gstreamer1.0-x
libgstrtspserver-1.0-dev libglib2.0-dev gstreamer1.0-rtsp gstreamer1.0-plugins-ugly gstreamer1.0-plugins-base-apps
libwayland-dev libwayland-bin wayland-protocols sway xwayland grim wtype
libxcb1-dev libxcb-shm0-dev libxcb-randr0-dev libxcb-shape0-dev libxcb-xinerama0-dev libxcb-damage0-dev libxcb-xfixes0-dev xvfb xserver-xephyr
frei0r-plugins-dev ffmpeg libswscale-dev
qt6-base-dev qt6-qpa-plugins fonts-dejavu-core openbox xdotool xclip dbus-daemon weston qt6-wayland
libtiff-dev libjpeg62-turbo-dev libxcb-xtest0-dev libxcb-keysyms1-dev x11proto-dev
desktop-file-utils appstream man-db dpkg-dev
libpipewire-0.3-dev pipewire pipewire-bin wireplumber gstreamer1.0-pipewire
chromium xdg-desktop-portal xdg-desktop-portal-gtk libglib2.0-bin libdbus-1-dev libkf5globalaccel-bin"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "installing:$missing"
as_root=""
[ "$(id -u)" = 0 ] || as_root="sudo"
export DEBIAN_FRONTEND=noninteractive
$as_root apt-get update -qq
# shellcheck disable=SC2086
$as_root apt-get install -y -qq --no-install-recommends $missing
