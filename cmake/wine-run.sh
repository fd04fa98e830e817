#!/usr/bin/env bash
# Runs a Windows program under Wine: the cross build's emulator, so CTest runs the test
# executables unchanged. Makes the Wine prefix on first use, once, even with parallel tests.
#   wine-run.sh [--arch=win32|win64] [--default-prefix=DIR] PROGRAM [ARGS...]
# WINEPREFIX from the environment wins over --default-prefix; without either, Wine's ~/.wine.
set -euo pipefail

arch=win32
default_prefix=""
while [ $# -gt 0 ]; do
  case "$1" in
    --arch=*) arch="${1#--arch=}" ;;
    --default-prefix=*) default_prefix="${1#--default-prefix=}" ;;
    *) break ;;
  esac
  shift
done
[ $# -gt 0 ] || { echo "wine-run: no program given" >&2; exit 2; }

# 64-bit programs always run under Wine's 64-bit loader: Debian's `wine` picks the 32-bit one
# whenever wine32 is installed, and that one does not start on a machine without i386 support.
if [ "$arch" = win64 ]; then
  source "$(dirname "$0")/../scripts/wine-select.sh"
  wine_use_64bit "$(cd "$(dirname "$0")/.." && pwd)/build/wine64-bin"
fi

export WINEPREFIX="${WINEPREFIX:-${default_prefix:-$HOME/.wine}}"
# Quiet, and no Mono or Gecko installer prompts: console test programs need neither.
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

# A prefix is complete once its registry exists; wineboot writes it when the server ends.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "wine-run: creating the Wine prefix $WINEPREFIX ($arch)" >&2
      # No display is needed: without DISPLAY, Wine's graphics driver stays out of the way.
      WINEARCH="$arch" DISPLAY= wineboot -i >/dev/null 2>&1 || true
      wineserver -w
      if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "wine-run: could not create the Wine prefix $WINEPREFIX" >&2
        exit 1
      fi
    fi
  ) 9>"$WINEPREFIX.lock"
fi

exec wine "$@"
