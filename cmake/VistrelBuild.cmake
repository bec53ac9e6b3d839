# Warnings, sanitizers and the staged install prefix shared by every target.

add_compile_options(-Wall -Wextra)
# Float results must be exactly those of the formulas.
add_compile_options(-ffp-contract=off)

if(VISTREL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# The build tree is laid out like an install: <stage>/bin, <stage>/share/vistrel, ...
set(VISTREL_STAGE ${CMAKE_BINARY_DIR}/stage)
set(VISTREL_STAGE_BIN ${VISTREL_STAGE}/bin)
set(VISTREL_STAGE_RESOURCES ${VISTREL_STAGE}/share/vistrel)
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

include(GNUInstallDirs)
