# A bundle is a folder <Name>.<ext>/Contents with an Info.ini (identifier, executable) and the
# shared object under Contents/Linux/<arch>/. A universal bundle simply holds one object per arch.

if(NOT DEFINED VISTREL_BUNDLE_ROOT)
  set(VISTREL_BUNDLE_ROOT ${VISTREL_STAGE_RESOURCES})
endif()

# vistrel_add_bundle(<target> NAME <name> EXTENSION <ext> IDENTIFIER <id>
#                    EXPORTS <version-script> SOURCES ... LIBRARIES ...
#                    [EXTRA_INFO "Key=Value" ...])
# EXTRA_INFO lines are appended to the bundle's Info.ini.
function(vistrel_add_bundle target)
  cmake_parse_arguments(B "" "NAME;EXTENSION;IDENTIFIER;EXPORTS;ROOT" "SOURCES;LIBRARIES;EXTRA_INFO"
    ${ARGN})
  if(NOT B_ROOT)
    set(B_ROOT ${VISTREL_BUNDLE_ROOT})
  endif()
  set(contents ${B_ROOT}/${B_NAME}.${B_EXTENSION}/Contents)
  add_library(${target} MODULE ${B_SOURCES})
  target_link_libraries(${target} PRIVATE ${B_LIBRARIES})
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${B_NAME}
    LIBRARY_OUTPUT_DIRECTORY ${contents}/Linux/${VISTREL_ARCH_DIR})
  target_link_options(${target} PRIVATE
    -Wl,--no-undefined -Wl,--version-script=${B_EXPORTS})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${B_EXPORTS})
  set(info "CFBundleIdentifier=${B_IDENTIFIER}\nCFBundleExecutable=${B_NAME}\n")
  foreach(line IN LISTS B_EXTRA_INFO)
    string(APPEND info "${line}\n")
  endforeach()
  file(WRITE ${contents}/Info.ini "${info}")
  set_property(TARGET ${target} PROPERTY VISTREL_BUNDLE_DIR ${B_ROOT}/${B_NAME}.${B_EXTENSION})
  # The 32-bit half links none of our shared libraries.
  if(NOT VISTREL_ARCH32_PART)
    vistrel_origin_runpath(${target})
  endif()
endfunction()

# The main bundle of a program is its install tree; its Info.ini lives in share/<program>/ and
# names the private folder, which holds the bundles, as the resources of every program of ours.
# INSTALL also installs the metadata beside the program (tests and benchmarks are not installed).
function(vistrel_main_bundle_info program identifier)
  cmake_parse_arguments(M "INSTALL" "" "" ${ARGN})
  file(RELATIVE_PATH resources ${VISTREL_STAGE}/share/${program} ${VISTREL_STAGE_PRIVATE})
  file(WRITE ${VISTREL_STAGE}/share/${program}/Info.ini
    "CFBundleIdentifier=${identifier}\nCFBundleExecutable=${program}\nResources=${resources}\n")
  if(M_INSTALL)
    install(FILES ${VISTREL_STAGE}/share/${program}/Info.ini DESTINATION ${CMAKE_INSTALL_DATADIR}/${program})
  endif()
endfunction()

# vistrel_install_staged(<target>): installs the object where it is staged, relative to the stage.
function(vistrel_install_staged target)
  get_target_property(folder ${target} LIBRARY_OUTPUT_DIRECTORY)
  file(RELATIVE_PATH destination ${VISTREL_STAGE} ${folder})
  install(TARGETS ${target} LIBRARY DESTINATION ${destination})
endfunction()

# vistrel_install_bundle(<target>): the bundle folder where it is staged, its Info.ini and object.
function(vistrel_install_bundle target)
  get_target_property(bundle ${target} VISTREL_BUNDLE_DIR)
  file(RELATIVE_PATH contents ${VISTREL_STAGE} ${bundle}/Contents)
  install(FILES ${bundle}/Contents/Info.ini DESTINATION ${contents})
  vistrel_install_staged(${target})
endfunction()

# vistrel_origin_runpath(<target>): the object finds the project's private libraries relative to
# itself ($ORIGIN). The stage is laid out as the install is, so one run path serves both trees and
# no build-tree path is left in the object.
function(vistrel_origin_runpath target)
  get_target_property(folder ${target} LIBRARY_OUTPUT_DIRECTORY)
  file(RELATIVE_PATH up ${folder} ${VISTREL_STAGE_PRIVATE})
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/${up}")
endfunction()
