# CMake toolchain for the 64-bit Windows build: MinGW-w64 x86_64, run under wine64.
# Use: cmake --preset win64, or -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(MINGW_WINEARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
