# CMake toolchain for the 32-bit Windows build (the product): MinGW-w64 i686, run under wine32.
# Use: cmake --preset win32, or -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MINGW_TRIPLE i686-w64-mingw32)
set(MINGW_WINEARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
