# Checks of the Windows side of the package that run in the Linux build when the
# mingw-w64 cross compilers are installed: small DLLs, one per Windows machine, built
# from a fixture with the package's own export selection (MakeDef.cmake) and its
# resources converted as the package build converts them, then read from outside by
# check_package.py (machine, DLL flag, export names, resources against the .res).
find_program(VORLANE_I686_GXX i686-w64-mingw32-g++-posix)
find_program(VORLANE_X86_64_GXX x86_64-w64-mingw32-g++-posix)
find_package(Python3 COMPONENTS Interpreter)
if(NOT VORLANE_I686_GXX OR NOT VORLANE_X86_64_GXX OR NOT Python3_FOUND)
  message(STATUS "mingw-w64 or python3 not found: the Windows export and resource checks are left out")
  return()
endif()

set(package_res ${PROJECT_BINARY_DIR}/package/VorlaneJoy.res)
set(other_res ${CMAKE_CURRENT_BINARY_DIR}/Satellite.res)
add_custom_command(OUTPUT ${other_res}
  COMMAND vorlane-rc ${CMAKE_CURRENT_SOURCE_DIR}/data/Satellite.rc --res ${other_res}
  DEPENDS ${VORLANE_RC_DEPENDS} ${CMAKE_CURRENT_SOURCE_DIR}/data/Satellite.rc
  VERBATIM)
set(checker ${PROJECT_SOURCE_DIR}/tests/windows/package/check_package.py)
set(fixture ${CMAKE_CURRENT_SOURCE_DIR}/data/ExportFixture.cpp)
set(fixture_map ${CMAKE_CURRENT_SOURCE_DIR}/data/ExportFixture.map)
set(fixture_dlls "")
foreach(bits 32 64)
  if(bits EQUAL 32)
    set(triple i686-w64-mingw32)
    set(underscore ON)
  else()
    set(triple x86_64-w64-mingw32)
    set(underscore OFF)
  endif()
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/windows${bits})
  set(object ${dir}/ExportFixture.obj)
  set(rsrc ${dir}/VorlaneJoyRes.o)
  set(def ${dir}/ExportFixture.def)
  set(dll ${dir}/ExportFixture.dll)
  add_custom_command(OUTPUT ${dll} ${def}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${triple}-g++-posix -std=c++20 -O1 -Wall -Wextra -Werror -c ${fixture} -o ${object}
    COMMAND ${CMAKE_COMMAND} -DNM=${triple}-nm -DCXXFILT=${triple}-c++filt -DMAP=${fixture_map}
            -DOBJECTS=${object} -DOUTPUT=${def} -DLIBRARY=ExportFixture.dll
            -DUNDERSCORE=${underscore} -P ${PROJECT_SOURCE_DIR}/package/MakeDef.cmake
    COMMAND ${triple}-windres -J res -O coff -i ${package_res} -o ${rsrc}
    COMMAND ${triple}-g++-posix -shared -static-libgcc -static-libstdc++ ${object} ${rsrc} ${def}
            -o ${dll}
    DEPENDS ${fixture} ${fixture_map} ${package_res} ${PROJECT_SOURCE_DIR}/package/MakeDef.cmake
    COMMENT "Building the ${bits}-bit export fixture DLL"
    VERBATIM)
  list(APPEND fixture_dlls ${dll})
  set(fixture_dll${bits} ${dll})
  set(fixture_def${bits} ${def})
endforeach()
add_custom_target(test_package_windows_fixtures ALL DEPENDS ${fixture_dlls} ${other_res})
add_dependencies(test_package_windows_fixtures vorlane_package)

set(both --dll32 ${fixture_dll32} --def32 ${fixture_def32} --dll64 ${fixture_dll64} --def64 ${fixture_def64})
add_test(NAME PackageWindows.FixtureExportsAndResources
  COMMAND Python3::Interpreter ${checker} --res ${package_res} ${both}
          --expect ${CMAKE_CURRENT_SOURCE_DIR}/data/ExportFixture.exports)
# The checker must see a wrong machine, resources of another .res and a .def that
# lists a name the DLL does not export.
add_test(NAME PackageWindows.RefusesTheWrongMachine
  COMMAND Python3::Interpreter ${checker} --res ${package_res}
          --dll32 ${fixture_dll64} --def32 ${fixture_def64})
add_test(NAME PackageWindows.RefusesOtherResources
  COMMAND Python3::Interpreter ${checker} --res ${other_res} ${both})
add_test(NAME PackageWindows.RefusesAnUnexportedName
  COMMAND Python3::Interpreter ${checker} --res ${package_res}
          --dll64 ${fixture_dll64} --def64 ${CMAKE_CURRENT_SOURCE_DIR}/data/ExportFixtureExtra.def)
set_tests_properties(PackageWindows.RefusesTheWrongMachine PROPERTIES
  PASS_REGULAR_EXPRESSION "is a 64-bit image for machine 0x8664, not PE32 for 0x14c")
set_tests_properties(PackageWindows.RefusesOtherResources PROPERTIES
  PASS_REGULAR_EXPRESSION "has resource RCDATA PACKAGEINFO language 0000, which the .res does not")
set_tests_properties(PackageWindows.RefusesAnUnexportedName PROPERTIES
  PASS_REGULAR_EXPRESSION "does not export PlainHidden, which")
