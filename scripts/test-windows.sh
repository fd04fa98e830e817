#!/usr/bin/env bash
# The Windows test command: installs the cross compilers and Wine when missing, makes the Wine
# prefix, cross-builds the 32-bit product tree (preset win32) and runs its unit tests under Wine.
# Needs no display: the test programs are console programs.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh windows

build=build/win32
export WINEPREFIX="$PWD/$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

cmake --preset win32 >/dev/null
# The prefix is made once here (about 20 seconds), so no test pays for it under its timeout.
# The build tree's own emulator wrapper does it, the same one CTest uses.
cmake/wine-run.sh --arch=win32 cmd /c exit 0

cmake --build --preset win32
ctest --preset win32
