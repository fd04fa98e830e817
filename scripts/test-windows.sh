#!/usr/bin/env bash
# The Windows unit tests: installs the cross compilers and Wine when missing, cross-builds the
# 32-bit product tree (preset win32) and runs its unit tests under Wine. On a machine that runs
# 64-bit programs only (or with VELMOR_WINE=64) the win32 tree is still built, and the tests run
# on the win64 build under Wine's 64-bit loader. Needs no display: they are console programs.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh windows
source scripts/wine-select.sh
wine_select
preset=$VELMOR_WINE_PRESET

export WINEPREFIX="$PWD/build/$preset/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

if [ "$preset" != win32 ]; then
  cmake --preset win32 >/dev/null
  cmake --build --preset win32
fi
cmake --preset "$preset" >/dev/null
# The prefix is made once here (about 20 seconds), so no test pays for it under its timeout.
# The build tree's own emulator wrapper does it, the same one CTest uses.
cmake/wine-run.sh "--arch=$preset" cmd /c exit 0

cmake --build --preset "$preset"
ctest --preset "$preset"
