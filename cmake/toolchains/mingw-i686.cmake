# 32-bit Windows (i686) with mingw-w64. These machines run no 32-bit programs
# (wine32 cannot start), so no emulator is set: 32-bit builds are built and
# inspected, not run.
#   cmake -S <project> -B build-windows -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VORLANE_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
