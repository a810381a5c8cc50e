# Run at install time (see Install.cmake): writes VORLANE_PC_OUTPUT from
# VORLANE_PC_TEMPLATE for the prefix being installed to and installs it into
# <libdir>/pkgconfig. Relative library and include folders are written as
# ${prefix}/..., so that pkg-config's --define-prefix and --define-variable work.
set(VORLANE_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
foreach(kind LIBDIR INCLUDEDIR)
  set(dir "${VORLANE_PC_${kind}}")
  if(IS_ABSOLUTE "${dir}")
    set(VORLANE_PC_${kind}_ABSOLUTE "${dir}")
  else()
    set(VORLANE_PC_${kind}_ABSOLUTE "${CMAKE_INSTALL_PREFIX}/${dir}")
    set(VORLANE_PC_${kind} "\${prefix}/${dir}")
  endif()
endforeach()
configure_file("${VORLANE_PC_TEMPLATE}" "${VORLANE_PC_OUTPUT}" @ONLY)
file(INSTALL DESTINATION "${VORLANE_PC_LIBDIR_ABSOLUTE}/pkgconfig" TYPE FILE
  FILES "${VORLANE_PC_OUTPUT}")
