# The build tools of the package in a cross build: vorlane-rc runs while building,
# so it is built for the host, with the host's compiler, as a project of its own.
# VORLANE_HOST_RC names one that is already built and skips that build.
set(VORLANE_HOST_RC "" CACHE FILEPATH "vorlane-rc built for the host (built here when empty)")
set(VORLANE_HOST_CXX c++ CACHE STRING "the host's C++ compiler, for the build tools")

if(VORLANE_HOST_RC)
  if(NOT EXISTS ${VORLANE_HOST_RC})
    message(FATAL_ERROR "VORLANE_HOST_RC names ${VORLANE_HOST_RC}, which does not exist")
  endif()
  set(vorlane_rc_location ${VORLANE_HOST_RC})
  set(VORLANE_RC_DEPENDS ${VORLANE_HOST_RC})
else()
  include(ExternalProject)
  set(vorlane_rc_dir ${CMAKE_CURRENT_BINARY_DIR}/host-rc)
  set(vorlane_rc_location ${vorlane_rc_dir}/vorlane-rc)
  ExternalProject_Add(vorlane_rc_host
    SOURCE_DIR ${CMAKE_CURRENT_SOURCE_DIR}/rc
    BINARY_DIR ${vorlane_rc_dir}
    CMAKE_ARGS -DCMAKE_CXX_COMPILER=${VORLANE_HOST_CXX} -DCMAKE_BUILD_TYPE=Release
               -DVORLANE_WERROR=${VORLANE_WERROR}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${vorlane_rc_location})
  set(VORLANE_RC_DEPENDS vorlane_rc_host ${vorlane_rc_location})
endif()
add_executable(vorlane-rc IMPORTED GLOBAL)
set_target_properties(vorlane-rc PROPERTIES IMPORTED_LOCATION ${vorlane_rc_location})
