# Install rules: the public headers, the shared libraries, a CMake package
# (find_package(Vorlane CONFIG REQUIRED), targets Vorlane::runtime, ::visual,
# ::designer, ::packages, ::joyservice, ::joytesting, ::joystick and ::design) and the pkg-config file
# vorlane-joystick.pc. Included at the end of the top-level CMakeLists.txt, when
# every target is defined.
include(CMakePackageConfigHelpers)

set(VORLANE_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Vorlane)

install(DIRECTORY ${VORLANE_INCLUDE_DIR}/vorlane/
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/vorlane
  FILES_MATCHING PATTERN "*.h" PATTERN "*.hpp")

# The libraries find each other next to themselves, wherever the prefix is.
set(VORLANE_INSTALLED_LIBRARIES vorlane_runtime vorlane_visual vorlane_designer vorlane_packages
  vorlane_joyservice vorlane_joytesting vorlane_joystick vorlane_design)
set_target_properties(${VORLANE_INSTALLED_LIBRARIES} PROPERTIES INSTALL_RPATH "$ORIGIN")

install(TARGETS ${VORLANE_INSTALLED_LIBRARIES}
  EXPORT VorlaneTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(EXPORT VorlaneTargets
  NAMESPACE Vorlane::
  FILE VorlaneTargets.cmake
  DESTINATION ${VORLANE_INSTALL_CMAKEDIR})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/VorlaneConfig.cmake.in
  ${PROJECT_BINARY_DIR}/VorlaneConfig.cmake
  INSTALL_DESTINATION ${VORLANE_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VorlaneConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/VorlaneConfig.cmake
  ${PROJECT_BINARY_DIR}/VorlaneConfigVersion.cmake
  DESTINATION ${VORLANE_INSTALL_CMAKEDIR})

# The tools, when they exist, find the libraries in the prefix's library folder.
foreach(tool joymon joyinspect)
  if(TARGET ${tool})
    if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
      set_target_properties(${tool} PROPERTIES INSTALL_RPATH "${CMAKE_INSTALL_LIBDIR}")
    else()
      file(RELATIVE_PATH _vorlane_bin_to_lib /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
      set_target_properties(${tool} PROPERTIES INSTALL_RPATH "$ORIGIN/${_vorlane_bin_to_lib}")
    endif()
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# vorlane-joystick.pc is written when installing, so that it names the prefix that
# is actually installed to (cmake --install --prefix), not the configured one.
install(CODE "
  set(VORLANE_PC_TEMPLATE [[${CMAKE_CURRENT_LIST_DIR}/vorlane-joystick.pc.in]])
  set(VORLANE_PC_OUTPUT [[${PROJECT_BINARY_DIR}/pkgconfig/vorlane-joystick.pc]])
  set(VORLANE_PC_LIBDIR [[${CMAKE_INSTALL_LIBDIR}]])
  set(VORLANE_PC_INCLUDEDIR [[${CMAKE_INSTALL_INCLUDEDIR}]])
  set(PROJECT_VERSION [[${PROJECT_VERSION}]])
  include([[${CMAKE_CURRENT_LIST_DIR}/WritePkgConfig.cmake]])
")
