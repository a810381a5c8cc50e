# The design package as a Windows DLL (VorlaneJoy.dll), included by Package.cmake.
#
# - Resources: the .res that vorlane-rc writes becomes the DLL's .rsrc section
#   (windres converts it to an object without changing a byte of any resource), so
#   the system's FindResourceW/LoadResource find the same bytes as the Linux package.
# - Exports: PE has no version scripts. MakeDef.cmake applies the patterns of
#   VorlaneJoy.map to the symbols the package's objects define and writes the
#   module-definition file VorlaneJoy.def that the DLL is linked with, so both
#   systems export the same selection from one list.
# - Entry: DllMain.cpp, the system's library entry.

set(VORLANE_PACKAGE_RSRC ${CMAKE_CURRENT_BINARY_DIR}/VorlaneJoyRes.o)
add_custom_command(
  OUTPUT ${VORLANE_PACKAGE_RSRC}
  COMMAND ${CMAKE_RC_COMPILER} -J res -O coff -i ${VORLANE_PACKAGE_RES} -o ${VORLANE_PACKAGE_RSRC}
  DEPENDS ${VORLANE_PACKAGE_RES}
  COMMENT "Converting the package's resources to the DLL's resource section"
  VERBATIM)
set_source_files_properties(${VORLANE_PACKAGE_RSRC} PROPERTIES EXTERNAL_OBJECT ON GENERATED ON)

add_library(vorlane_package_objects OBJECT
  ${VORLANE_PACKAGE_SOURCES}
  ${VORLANE_PACKAGE_COMPONENT_SOURCES}
  ${VORLANE_PACKAGE_DESIGN_SOURCES}
  ${VORLANE_PACKAGE_RES_CPP})
target_include_directories(vorlane_package_objects PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/component)
# The package holds its own copy of JoystickDesign: neither imported from
# vorlane-design nor exported beyond what the .def lists.
target_compile_definitions(vorlane_package_objects PRIVATE VORLANE_DESIGN_API=)
target_link_libraries(vorlane_package_objects PRIVATE
  vorlane_runtime vorlane_visual vorlane_designer vorlane_packages vorlane_joyservice)

get_filename_component(vorlane_tool_prefix ${CMAKE_CXX_COMPILER} NAME)
string(REGEX REPLACE "g\\+\\+(-posix)?$" "" vorlane_tool_prefix ${vorlane_tool_prefix})
find_program(VORLANE_MINGW_NM NAMES ${vorlane_tool_prefix}nm REQUIRED)
find_program(VORLANE_MINGW_CXXFILT NAMES ${vorlane_tool_prefix}c++filt c++filt REQUIRED)
# 32-bit Windows puts an underscore before every C-level symbol name.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(vorlane_underscore ON)
else()
  set(vorlane_underscore OFF)
endif()

set(VORLANE_PACKAGE_DEF ${CMAKE_CURRENT_BINARY_DIR}/VorlaneJoy.def)
add_custom_command(
  OUTPUT ${VORLANE_PACKAGE_DEF}
  COMMAND ${CMAKE_COMMAND} -DNM=${VORLANE_MINGW_NM} -DCXXFILT=${VORLANE_MINGW_CXXFILT}
          -DMAP=${CMAKE_CURRENT_SOURCE_DIR}/VorlaneJoy.map -DOUTPUT=${VORLANE_PACKAGE_DEF}
          -DLIBRARY=VorlaneJoy.dll -DUNDERSCORE=${vorlane_underscore}
          "-DOBJECTS=$<TARGET_OBJECTS:vorlane_package_objects>"
          -P ${CMAKE_CURRENT_SOURCE_DIR}/MakeDef.cmake
  DEPENDS $<TARGET_OBJECTS:vorlane_package_objects> ${CMAKE_CURRENT_SOURCE_DIR}/VorlaneJoy.map
          ${CMAKE_CURRENT_SOURCE_DIR}/MakeDef.cmake
  COMMENT "Selecting the exports of the design package"
  VERBATIM)

add_library(vorlane_package MODULE
  $<TARGET_OBJECTS:vorlane_package_objects> ${VORLANE_PACKAGE_RSRC} ${VORLANE_PACKAGE_DEF})
set_target_properties(vorlane_package PROPERTIES OUTPUT_NAME VorlaneJoy PREFIX "")
# winmm ahead of the project's service: the component calls the system's joy*.
target_link_libraries(vorlane_package PRIVATE
  winmm vorlane_runtime vorlane_visual vorlane_designer vorlane_packages vorlane_joyservice)
vorlane_no_undefined(vorlane_package)

install(TARGETS vorlane_package LIBRARY DESTINATION ${CMAKE_INSTALL_BINDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The package's own Windows tests; enable_testing() here links this folder into the
# build's test list, which the top level enables only after adding it.
if(VORLANE_BUILD_TESTS)
  enable_testing()
  add_subdirectory(${PROJECT_SOURCE_DIR}/tests/windows/package ${CMAKE_BINARY_DIR}/tests/windows/package)
endif()
