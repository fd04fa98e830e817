# Shared part of the MinGW-w64 cross toolchains: compilers for one target triple, static
# runtime and zlib (the executables need only system DLLs), and Wine to run what is built.
# Expects MINGW_TRIPLE (i686-w64-mingw32 or x86_64-w64-mingw32) and MINGW_WINEARCH (win32 or
# win64) to be set by the caller.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 5.1)

# The posix-thread flavour of the compilers has the whole C++ thread library; it is linked
# statically below, so it costs no DLL.
foreach(lang C CXX)
  if(lang STREQUAL "C")
    set(tool gcc)
  else()
    set(tool g++)
  endif()
  find_program(MINGW_${lang}_COMPILER NAMES ${MINGW_TRIPLE}-${tool}-posix ${MINGW_TRIPLE}-${tool}
               REQUIRED)
  set(CMAKE_${lang}_COMPILER ${MINGW_${lang}_COMPILER})
endforeach()
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++, winpthread and zlib all go into the executable.
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Windows test programs run under Wine; the wrapper makes the Wine prefix on first use.
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;--arch=${MINGW_WINEARCH}"
    "--default-prefix=${CMAKE_BINARY_DIR}/wineprefix")

# -O2 for release: GCC 12's -O3 reports out-of-bounds copies inside libstdc++'s vector insert
# that cannot happen, and warnings are errors here.
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags for release builds")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG" CACHE STRING "Flags for release builds")
