#!/usr/bin/env bash
# End-to-end tests of the Windows product under Wine: cross-builds the updater stub, the pak
# tool and the test driver, then runs the driver on a virtual display with a Wine prefix of its
# own, first under zh_TW.UTF-8 (code page 950, as on the players' systems), then under
# ja_JP.UTF-8 (code page 932, another double-byte one) and en_US.UTF-8 (code page 1252), where
# the Chinese texts must read the same. The driver packs
# updaters with the pak tool and works the real updater through its windows. The build is the
# win32 product where this machine runs i386 programs, the win64 one where it does not (or
# with VELMOR_WINE=64). One more updater is made here as a publisher makes it, signed last with
# osslsigncode and a certificate made on the spot, checked, and handed to the driver.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/wine-gui.sh
source scripts/sign-updater.sh
wine_gui_build
wine_gui_setup
sign_updater_e2e "$WINEPREFIX/velmor-signed"
for lang in zh_TW.UTF-8 ja_JP.UTF-8 en_US.UTF-8; do
  echo "== end-to-end tests ($VELMOR_WINE_PRESET), LANG=$lang"
  wine_gui_locale "$lang"
  wine "$WINE_GUI_DRIVER" --gtest_brief=1 "--signed=$SIGNED_UPDATER"
done
