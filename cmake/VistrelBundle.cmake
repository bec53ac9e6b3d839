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
endfunction()

# The main bundle of a program is its install tree; its Info.ini lives in share/<program>/.
# RESOURCES names another program's resources folder (relative), so tools share the app's resources.
# INSTALL also installs the metadata beside the program (tests and benchmarks are not installed).
function(vistrel_main_bundle_info program identifier)
  cmake_parse_arguments(M "INSTALL" "RESOURCES" "" ${ARGN})
  set(text "CFBundleIdentifier=${identifier}\nCFBundleExecutable=${program}\n")
  if(M_RESOURCES)
    string(APPEND text "Resources=${M_RESOURCES}\n")
  endif()
  file(WRITE ${VISTREL_STAGE}/share/${program}/Info.ini "${text}")
  if(M_INSTALL)
    install(FILES ${VISTREL_STAGE}/share/${program}/Info.ini DESTINATION ${CMAKE_INSTALL_DATADIR}/${program})
  endif()
endfunction()

# vistrel_install_bundle(<target> DESTINATION <folder>): the bundle folder under <folder>, its
# object installed as a target so its run path is the installed one.
function(vistrel_install_bundle target)
  cmake_parse_arguments(I "" "DESTINATION" "" ${ARGN})
  get_target_property(bundle ${target} VISTREL_BUNDLE_DIR)
  get_filename_component(bundle_name ${bundle} NAME)
  set(contents ${I_DESTINATION}/${bundle_name}/Contents)
  install(FILES ${bundle}/Contents/Info.ini DESTINATION ${contents})
  install(TARGETS ${target} LIBRARY DESTINATION ${contents}/Linux/${VISTREL_ARCH_DIR})
  vistrel_origin_runpath(${target} ${contents}/Linux/${VISTREL_ARCH_DIR})
endfunction()

# vistrel_origin_runpath(<target> <install folder>...): the object finds the project's shared
# libraries relative to itself ($ORIGIN), from where it is staged and from each folder it is
# installed in (relative to the prefix, or absolute), so that either tree runs wherever it is put.
# One run path serves both trees; no build-tree path is left in the object.
function(vistrel_origin_runpath target)
  get_target_property(paths ${target} INSTALL_RPATH)
  if(NOT paths)
    get_target_property(staged ${target} LIBRARY_OUTPUT_DIRECTORY)
    file(RELATIVE_PATH up ${staged} ${VISTREL_STAGE}/lib)
    set(paths "$ORIGIN/${up}")
  endif()
  foreach(folder IN LISTS ARGN)
    if(NOT IS_ABSOLUTE ${folder})
      set(folder ${CMAKE_INSTALL_PREFIX}/${folder})
    endif()
    file(RELATIVE_PATH up ${folder} ${CMAKE_INSTALL_FULL_LIBDIR})
    list(APPEND paths "$ORIGIN/${up}")
  endforeach()
  list(REMOVE_DUPLICATES paths)
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "${paths}" BUILD_WITH_INSTALL_RPATH ON)
endfunction()
