# Install bookkeeping. Each install lists in its manifest, after its files, the folders it made,
# so that the uninstall target removes those again once they are empty, and no other folder.
# A folder counts as made when it is below one of our own roots, or lies on the way to any root
# and did not exist before the install (or an earlier install of this build tree made it).
set(VISTREL_OWN_INSTALL_ROOTS
  ${VISTREL_PRIVATE_DIR} ${CMAKE_INSTALL_DATADIR}/vistrel ${CMAKE_INSTALL_DATADIR}/vistrel-channel)
# Every other folder an install puts files in; shared with other software.
set(VISTREL_SHARED_INSTALL_ROOTS
  ${CMAKE_INSTALL_BINDIR} ${CMAKE_INSTALL_LIBDIR}/gstreamer-1.0 lib/frei0r-1
  ${CMAKE_INSTALL_DATADIR}/applications ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
  ${CMAKE_INSTALL_DATADIR}/metainfo ${CMAKE_INSTALL_MANDIR}/man1)

# Called before the first and after the last install rule.
function(vistrel_install_bookkeeping step)
  install(CODE "set(VISTREL_INSTALL_STEP ${step})
    set(VISTREL_OWN_INSTALL_ROOTS \"${VISTREL_OWN_INSTALL_ROOTS}\")
    set(VISTREL_SHARED_INSTALL_ROOTS \"${VISTREL_SHARED_INSTALL_ROOTS}\")
    set(VISTREL_INSTALL_MANIFEST \"${CMAKE_BINARY_DIR}/install_manifest.txt\")")
  install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/VistrelInstallFolders.cmake)
endfunction()

add_custom_target(uninstall
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${CMAKE_BINARY_DIR}/install_manifest.txt
          -P ${PROJECT_SOURCE_DIR}/cmake/VistrelUninstall.cmake
  COMMENT "Removing what cmake --install installed from this build tree"
  VERBATIM)
