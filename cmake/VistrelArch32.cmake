# The 32-bit half of the universal VistrelX64 bundle, and a 32-bit vistrel-channel to prove it,
# come from a second configuration of this same tree with -m32.
include(ExternalProject)
include(CheckCXXSourceCompiles)

if(VISTREL_BUILD_ARCH32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CMAKE_REQUIRED_FLAGS -m32)
  check_cxx_source_compiles("#include <string>\nint main() { return std::string().size(); }" VISTREL_CAN_M32)
  unset(CMAKE_REQUIRED_FLAGS)
  if(NOT VISTREL_CAN_M32)
    message(FATAL_ERROR "32-bit builds need g++-multilib (or pass -DVISTREL_BUILD_ARCH32=OFF)")
  endif()
  ExternalProject_Add(vistrel_arch32
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/arch32
    CMAKE_ARGS
      -G Ninja
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
      -DCMAKE_C_FLAGS=-m32
      -DCMAKE_CXX_FLAGS=-m32
      -DCMAKE_EXE_LINKER_FLAGS=-m32
      -DCMAKE_SHARED_LINKER_FLAGS=-m32
      -DCMAKE_MODULE_LINKER_FLAGS=-m32
      -DVISTREL_ARCH32_PART=ON
      -DVISTREL_SANITIZE=OFF
      -DVISTREL_BUNDLE_ROOT=${VISTREL_STAGE_RESOURCES}
      -DCMAKE_INSTALL_PREFIX=${CMAKE_INSTALL_PREFIX}
      -DCMAKE_INSTALL_LIBDIR=${CMAKE_INSTALL_LIBDIR}
      -DCMAKE_RUNTIME_OUTPUT_DIRECTORY=${VISTREL_STAGE_PRIVATE}/i386
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    USES_TERMINAL_BUILD ON)
  set(VISTREL_ARCH32_TOOL ${VISTREL_STAGE_PRIVATE}/i386/vistrel-channel)
  install(FILES ${VISTREL_STAGE_RESOURCES}/VistrelX64.component/Contents/Linux/i386/VistrelX64.so
    DESTINATION ${VISTREL_PRIVATE_DIR}/VistrelX64.component/Contents/Linux/i386)
  # Not a target here, so an install that strips its targets (the package's) strips it by hand.
  install(CODE "if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_STRIP}\" \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${VISTREL_PRIVATE_DIR}/VistrelX64.component/Contents/Linux/i386/VistrelX64.so\"
      COMMAND_ERROR_IS_FATAL ANY)
  endif()")
endif()
