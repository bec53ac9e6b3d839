# Warnings, sanitizers and the staged install prefix shared by every target.

add_compile_options(-Wall -Wextra)
# Float results must be exactly those of the formulas.
add_compile_options(-ffp-contract=off)

if(VISTREL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# Private libraries and bundles live in lib/<multiarch>/vistrel whatever the prefix, as under
# Debian's /usr, so one layout serves every install and the 32-bit half finds the same folders.
if(NOT DEFINED CMAKE_INSTALL_LIBDIR AND CMAKE_LIBRARY_ARCHITECTURE)
  set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE} CACHE PATH "Object code libraries")
endif()
include(GNUInstallDirs)
set(VISTREL_PRIVATE_DIR ${CMAKE_INSTALL_LIBDIR}/vistrel)

# The build tree is laid out exactly like an install (<stage>/bin, <stage>/<libdir>/vistrel, ...),
# so that one $ORIGIN-relative run path serves both and either tree runs wherever it is copied.
set(VISTREL_STAGE ${CMAKE_BINARY_DIR}/stage)
set(VISTREL_STAGE_BIN ${VISTREL_STAGE}/bin)
set(VISTREL_STAGE_PRIVATE ${VISTREL_STAGE}/${VISTREL_PRIVATE_DIR})
set(VISTREL_STAGE_RESOURCES ${VISTREL_STAGE_PRIVATE})
set(CMAKE_BUILD_WITH_INSTALL_RPATH ON)
if(NOT VISTREL_ARCH32_PART)
  # Programs in bin; objects elsewhere set their own (vistrel_origin_runpath).
  set(CMAKE_INSTALL_RPATH "$ORIGIN/../${VISTREL_PRIVATE_DIR}")
endif()
if(NOT CMAKE_RUNTIME_OUTPUT_DIRECTORY)
  set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${VISTREL_STAGE_BIN})
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(VISTREL_ARCH_DIR i386)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "aarch64|arm64")
  set(VISTREL_ARCH_DIR aarch64)
else()
  set(VISTREL_ARCH_DIR x86_64)
endif()

