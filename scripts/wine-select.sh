# Sourced: chooses how this machine runs the Windows build under Wine. Some machines run 64-bit
# programs only: there wine32 installs but its loader cannot start, and Debian's `wine`,
# `wineboot` and `wineserver` scripts still pick the 32-bit loader whenever it is installed.
# On those the Windows tests run the win64 build under Wine's 64-bit loader, in a 64-bit prefix.
#
#   wine_select            decides once (VELMOR_WINE=32 or 64 forces a way, default auto),
#                          exports VELMOR_WINE_BITS and VELMOR_WINE_PRESET, prints one line and,
#                          for 64, puts the 64-bit commands first on PATH
#   wine_use_64bit DIR     writes `wine`, `wineserver`, `wineboot` and `winepath` for the 64-bit
#                          loader into DIR and puts DIR first on PATH
# The caller has set -euo pipefail.

WINE_LOADER32=/usr/lib/wine/wine
WINE_LOADER64=/usr/lib/wine/wine64
WINE_SERVER64=/usr/lib/wine/wineserver64

# True when the 32-bit Wine loader starts here (it is an i386 program).
wine_runs_32bit() {
  [ -x "$WINE_LOADER32" ] && "$WINE_LOADER32" --version >/dev/null 2>&1
}

wine_use_64bit() {
  local dir=$1 name
  mkdir -p "$dir"
  # Each command written whole beside its final name and renamed, so a run that reads it while
  # another writes it never meets half a script.
  for name in wine wineserver wineboot winepath; do
    {
      echo '#!/bin/sh'
      echo "# Wine's 64-bit $name, whatever else is installed."
      echo "export WINELOADER=$WINE_LOADER64 WINESERVER=$WINE_SERVER64"
      case "$name" in
        wine) echo "exec $WINE_LOADER64 \"\$@\"" ;;
        wineserver) echo "exec $WINE_SERVER64 -p0 \"\$@\"" ;;
        *) echo "exec $WINE_LOADER64 $name.exe \"\$@\"" ;;
      esac
    } >"$dir/$name.$$"
    chmod +x "$dir/$name.$$"
    mv -f "$dir/$name.$$" "$dir/$name"
  done
  export WINELOADER=$WINE_LOADER64 WINESERVER=$WINE_SERVER64
  case ":$PATH:" in
    *":$dir:"*) ;;
    *) export PATH="$dir:$PATH" ;;
  esac
}

wine_select() {
  local why
  # Decided once a run: the scripts that the test command calls inherit the choice.
  if [ -n "${VELMOR_WINE_PRESET:-}" ]; then
    [ "$VELMOR_WINE_PRESET" = win64 ] && wine_use_64bit "$PWD/build/wine64-bin"
    return 0
  fi
  case "${VELMOR_WINE:-auto}" in
    32) VELMOR_WINE_BITS=32 why="forced by VELMOR_WINE=32" ;;
    64) VELMOR_WINE_BITS=64 why="forced by VELMOR_WINE=64" ;;
    auto)
      if wine_runs_32bit; then
        VELMOR_WINE_BITS=32 why="this machine runs i386 programs"
      else
        VELMOR_WINE_BITS=64 why="this machine cannot run i386 programs"
      fi ;;
    *) echo "wine-select: VELMOR_WINE is 32, 64 or auto, not '$VELMOR_WINE'" >&2; return 2 ;;
  esac
  if [ "$VELMOR_WINE_BITS" = 64 ]; then
    [ -x "$WINE_LOADER64" ] || { echo "wine-select: $WINE_LOADER64 is missing (package wine64)" >&2; return 1; }
    VELMOR_WINE_PRESET=win64
    wine_use_64bit "$PWD/build/wine64-bin"
    echo "Windows tests: win64 build under Wine's 64-bit loader ($why); the win32 product is built only"
  else
    VELMOR_WINE_PRESET=win32
    echo "Windows tests: win32 product under 32-bit Wine ($why)"
  fi
  export VELMOR_WINE=$VELMOR_WINE_BITS VELMOR_WINE_BITS VELMOR_WINE_PRESET
}
