# 64-bit Windows (x86_64) with mingw-w64; programs run under Wine's wine64.
#   cmake -S <project> -B build-windows64 -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-x86_64.cmake
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VORLANE_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

set(VORLANE_WINE64 /usr/lib/wine/wine64 CACHE FILEPATH "Wine loader for 64-bit Windows programs")
set(CMAKE_CROSSCOMPILING_EMULATOR ${VORLANE_WINE64})
