# Shared part of the mingw-w64 toolchain files: include it after setting
# VORLANE_MINGW_TRIPLE (for example x86_64-w64-mingw32).
#
# The posix-threads variants of the compilers carry std::thread and std::mutex.
# On x86_64 libgcc, libstdc++ and winpthread are linked statically, so a program
# built here runs under Wine (or on Windows) without the compiler's DLLs beside it:
# its exceptions unwind through the system's tables (SEH), also across DLLs. On
# i686 exceptions unwind with DWARF-2 tables that each copy of libgcc knows only for
# its own module, so one thrown in a DLL could not be caught in another: there the
# run time is the compiler's DLLs (VORLANE_MINGW_RUNTIME_DLLS), which the build
# copies into bin/.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${VORLANE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORLANE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VORLANE_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${VORLANE_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${VORLANE_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${VORLANE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

if(VORLANE_MINGW_TRIPLE MATCHES "^i686")
  set(VORLANE_MINGW_RUNTIME_FLAGS "-shared-libgcc")
  set(VORLANE_MINGW_RUNTIME_DLLS libgcc_s_dw2-1.dll libstdc++-6.dll libwinpthread-1.dll)
else()
  # -static makes the linker prefer libwinpthread.a over its import library; the
  # system DLLs (kernel32, user32, winmm...) have import libraries only and stay DLLs.
  set(VORLANE_MINGW_RUNTIME_FLAGS "-static -static-libgcc -static-libstdc++")
  set(VORLANE_MINGW_RUNTIME_DLLS "")
endif()
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "${VORLANE_MINGW_RUNTIME_FLAGS}")
endforeach()

# GoogleTest for the target, built from the sources of Debian's `googletest`
# package. A project calls vorlane_mingw_googletest() once and links
# GTest::gtest_main / GTest::gmock as it would on Linux.
set(VORLANE_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH
    "GoogleTest sources built for the Windows target")
macro(vorlane_mingw_googletest)
  if(NOT TARGET gtest)
    if(NOT EXISTS ${VORLANE_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
      message(FATAL_ERROR "GoogleTest sources not found in ${VORLANE_GOOGLETEST_SOURCE_DIR}: "
                          "install the Debian package googletest (scripts/windows-deps.sh does)")
    endif()
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    add_subdirectory(${VORLANE_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    # GoogleTest's own sources are not held to the project's warning flags.
    foreach(target gtest gtest_main gmock gmock_main)
      set_property(TARGET ${target} PROPERTY COMPILE_WARNING_AS_ERROR OFF)
      target_compile_options(${target} PRIVATE -w)
    endforeach()
    # GoogleTest's own build names them GTest::... as well (from 1.11 on).
    foreach(target gtest gtest_main gmock gmock_main)
      if(NOT TARGET GTest::${target})
        add_library(GTest::${target} ALIAS ${target})
      endif()
    endforeach()
  endif()
endmacro()
