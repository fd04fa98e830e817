#!/usr/bin/env bash
# Makes the README's pictures of the Windows updater: the end-to-end driver takes a picture of
# the dialog, the folder browser and each message as it meets them on a virtual display, once
# under zh_TW.UTF-8 (code page 950) and once under en_US.UTF-8 (code page 1252); they are kept
# as PNG files in docs/screenshots/LOCALE/. Not part of the tests.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/wine-gui.sh
wine_gui_build
wine_gui_setup
# The tests that meet the windows shown in the README.
pictured='Dialog.Shown*:FolderChoice.CancelledBrowser*:FolderChoice.WrongFolder*:Updater/Outcome.*:LargeMember.*'
shots=$(mktemp -d "${TMPDIR:-/tmp}/velmor-shots.XXXXXX")
trap 'wine_gui_cleanup; rm -rf "$shots"' EXIT
for lang in zh_TW.UTF-8 en_US.UTF-8; do
  wine_gui_locale "$lang"
  mkdir -p "$shots/$lang"
  wine "$WINE_GUI_DRIVER" --gtest_brief=1 --gtest_filter="$pictured" \
    "--pictures=$(winepath -w "$shots/$lang")"
  out="docs/screenshots/${lang%%.*}"
  rm -rf "$out"
  mkdir -p "$out"
  for bmp in "$shots/$lang"/*.bmp; do
    name=$(basename "$bmp" .bmp)
    convert "$bmp" -strip "png:$out/$name.png"
  done
done
ls -l docs/screenshots/*
