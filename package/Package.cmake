# The design package libVorlaneJoy.so: the runtime unit Joystick, the design-time
# unit JoystickDesign, the start-up unit SysInit and the package's main unit, with
# its resources compiled from readable sources at build time (docs/package.md).

# vorlane-rc, the resource compiler, is a build tool: in a cross build it is built
# for the host (Windows.cmake), else here with the rest.
if(CMAKE_CROSSCOMPILING)
  include(${CMAKE_CURRENT_SOURCE_DIR}/HostTools.cmake)
else()
  add_subdirectory(rc)
  set(VORLANE_RC_DEPENDS vorlane-rc)
endif()

set(VORLANE_PACKAGE_SCRIPT ${CMAKE_CURRENT_SOURCE_DIR}/resources/VorlaneJoy.rc)
set(VORLANE_PACKAGE_PICTURES
  ${CMAKE_CURRENT_SOURCE_DIR}/resources/MainIcon.txt
  ${CMAKE_CURRENT_SOURCE_DIR}/resources/TJoystick.txt)
set(VORLANE_PACKAGE_RES ${CMAKE_CURRENT_BINARY_DIR}/VorlaneJoy.res)
set(VORLANE_PACKAGE_RES_CPP ${CMAKE_CURRENT_BINARY_DIR}/VorlaneJoyResources.cpp)
add_custom_command(
  OUTPUT ${VORLANE_PACKAGE_RES} ${VORLANE_PACKAGE_RES_CPP}
  COMMAND vorlane-rc ${VORLANE_PACKAGE_SCRIPT} --res ${VORLANE_PACKAGE_RES}
          --cpp ${VORLANE_PACKAGE_RES_CPP}
  DEPENDS ${VORLANE_RC_DEPENDS} ${VORLANE_PACKAGE_SCRIPT} ${VORLANE_PACKAGE_PICTURES}
  COMMENT "Compiling the resources of the design package"
  VERBATIM)

# The package holds its own copy of both units. Loading it registers nothing: inside
# it, TJoystick reaches form reading through Register (RegisterComponents), not
# through a static initialiser, so component/ClassRegistration.cpp stays out.
set(VORLANE_PACKAGE_SOURCES
  JoystickDesignUnit.cpp
  JoystickUnit.cpp
  SysInit.cpp
  VorlaneJoy.cpp)
if(WIN32)
  list(APPEND VORLANE_PACKAGE_SOURCES DllMain.cpp)
else()
  list(APPEND VORLANE_PACKAGE_SOURCES LibraryEntry.cpp)
endif()
set(VORLANE_PACKAGE_COMPONENT_SOURCES
  ${PROJECT_SOURCE_DIR}/component/Capabilities.cpp
  ${PROJECT_SOURCE_DIR}/component/Capture.cpp
  ${PROJECT_SOURCE_DIR}/component/Errors.cpp
  ${PROJECT_SOURCE_DIR}/component/Joystick.cpp
  ${PROJECT_SOURCE_DIR}/component/Published.cpp
  ${PROJECT_SOURCE_DIR}/component/Queries.cpp
  ${PROJECT_SOURCE_DIR}/component/Service.cpp)
set(VORLANE_PACKAGE_DESIGN_SOURCES
  ${PROJECT_SOURCE_DIR}/design/JoystickDesign.cpp
  ${PROJECT_SOURCE_DIR}/design/Register.cpp)

if(WIN32)
  include(${CMAKE_CURRENT_SOURCE_DIR}/Windows.cmake)
  return()
endif()

# A module library: it is loaded with the package loader, never linked against.
add_library(vorlane_package MODULE
  ${VORLANE_PACKAGE_SOURCES}
  ${VORLANE_PACKAGE_COMPONENT_SOURCES}
  ${VORLANE_PACKAGE_DESIGN_SOURCES}
  ${VORLANE_PACKAGE_RES_CPP})
set_target_properties(vorlane_package PROPERTIES OUTPUT_NAME VorlaneJoy PREFIX lib
  LINK_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/VorlaneJoy.map)
target_include_directories(vorlane_package PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/component)
# The libraries of the framework packages it requires (vldesign, vlvisual) and of
# the units it uses.
target_link_libraries(vorlane_package PRIVATE
  vorlane_runtime vorlane_visual vorlane_designer vorlane_packages vorlane_joyservice)
# Static objects in inline functions would otherwise become unique symbols, which
# keep the dynamic loader from ever unloading the library (and so from running the
# library's exit when the package is unloaded).
target_compile_options(vorlane_package PRIVATE $<$<CXX_COMPILER_ID:GNU>:-fno-gnu-unique>)
target_link_options(vorlane_package PRIVATE
  -Wl,--version-script=${CMAKE_CURRENT_SOURCE_DIR}/VorlaneJoy.map)
vorlane_no_undefined(vorlane_package)

# Installed with the libraries, in a folder of its own: <libdir>/vorlane/packages.
set_target_properties(vorlane_package PROPERTIES INSTALL_RPATH "$ORIGIN/../..")
install(TARGETS vorlane_package LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/vorlane/packages)
