# The Debian package vistrel, made by CPack's DEB generator from the same install rules as
# cmake --install, so the package holds exactly an install into /usr. scripts/package.sh builds it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vistrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tarnwick <vistrel@tarnwick.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "screen-region grabber and virtual camera for X11")
set(CPACK_PACKAGE_DESCRIPTION "Vistrel grabs the screen under a transparent grabber window to \
files or the clipboard, and broadcasts it as a camera that GStreamer (vistrelsrc) and frei0r hosts \
such as ffmpeg (cilookpaneinput) read.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
# Library dependencies come from dpkg-shlibdeps; our private libraries are found through the
# objects' own run paths.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
  ${CMAKE_INSTALL_PREFIX}/${VISTREL_PRIVATE_DIR})
# Qt draws through its xcb platform plug-in, which no library links.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# What the programs find at run time: the GStreamer elements vistrel-rtsp encodes and sends with
# (VP8 from plugins-good; H.264 from plugins-ugly where it is installed), the PipeWire daemon
# vistrel-pipewire joins, the opener of the Open Folder action, and the frei0r host.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
  "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, pipewire, xdg-utils, ffmpeg")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gstreamer1.0-plugins-ugly")
include(CPack)
