# Sourced by the scripts that run the Windows updater's windows under Wine: a virtual display
# (Xvfb), the locales that give Wine its code pages, and a Wine prefix of this run's own whose
# dialog fonts are the installed CJK font. Cleans up the display, the Wine server and the prefix
# at exit, so two runs at once never meet.
#   wine_gui_build (the end-to-end driver of the preset wine_select chose), wine_gui_setup, then
#   wine_gui_locale LANG before running wine under a locale; the caller has set -euo pipefail.

source scripts/wine-select.sh

# The end-to-end driver with the updater stub and the pak tool it runs. On a machine that runs
# 64-bit programs only, the win64 build's; the win32 product is still built, so it never stops
# building.
wine_gui_build() {
  bash scripts/install-deps.sh windows
  wine_select
  WINE_GUI_DRIVER=build/$VELMOR_WINE_PRESET/tests/wine/tests_wine_e2e.exe
  cmake --preset "$VELMOR_WINE_PRESET" >/dev/null
  cmake --build --preset "$VELMOR_WINE_PRESET" --target tests_wine_e2e
  if [ "$VELMOR_WINE_PRESET" != win32 ]; then
    cmake --preset win32 >/dev/null
    cmake --build --preset win32 --target VelmorUpdate pak
  fi
}

# zh_TW.UTF-8 gives Wine code page 950 (Big5), en_US.UTF-8 code page 1252.
wine_gui_locales() {
  local missing=()
  for l in zh_TW ja_JP en_US; do
    locale -a 2>/dev/null | grep -qix "$l.utf-\?8" || missing+=("$l")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  for l in "${missing[@]}"; do
    $sudo sed -i "s/^# *\($l\.UTF-8 UTF-8\)/\1/" /etc/locale.gen
  done
  $sudo locale-gen >/dev/null
}

# A display of its own: Xvfb picks a free number itself and writes it to us, so two runs
# started together cannot take the same one.
wine_gui_display() {
  local fifo n=""
  fifo=$(mktemp -u "${TMPDIR:-/tmp}/velmor-xvfb.XXXXXX")
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  WINE_GUI_XVFB=$!
  read -r -t 30 n <"$fifo" || true
  rm -f "$fifo"
  [ -n "$n" ] || { echo "wine-gui: Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$n"
}

wine_gui_cleanup() {
  if [ -n "${WINE_GUI_RUN_PREFIX:-}" ] && [ -d "$WINE_GUI_RUN_PREFIX" ]; then
    WINEPREFIX=$WINE_GUI_RUN_PREFIX wineserver -k 2>/dev/null || true
    WINEPREFIX=$WINE_GUI_RUN_PREFIX wineserver -w 2>/dev/null || true
    rm -rf "$WINE_GUI_RUN_PREFIX"
  fi
  if [ -n "${WINE_GUI_XVFB:-}" ]; then
    kill "$WINE_GUI_XVFB" 2>/dev/null || true
    wait "$WINE_GUI_XVFB" 2>/dev/null || true
  fi
}

# A LOGFONTW record as REGEDIT4 hex bytes: height, weight, face (default character set).
wine_gui_logfont() {
  local height=$1 weight=$2 face=$3 le32='s/\(..\)\(..\)\(..\)\(..\)/\4\3\2\1/'
  {
    printf '%08x' $((height & 0xffffffff)) | sed "$le32"
    printf '%024d' 0                        # width, escapement, orientation
    printf '%08x' "$weight" | sed "$le32"
    printf '0000000100000000'               # italic .. pitch; character set 1 (default)
    printf '%s' "$face" | iconv -t UTF-16LE | od -An -v -tx1 | tr -d ' \n'
    printf '%0*d' $((128 - 4 * ${#face})) 0  # the rest of the 32-character face field
  } | sed 's/../&,/g; s/,$//'
}

# The template prefix, made once under a lock (about 20 seconds): of the chosen build's width,
# with the settings file that wine_gui_locale applies. Each run works on a copy of its own.
wine_gui_template() {
  local template=$1
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$(dirname "$template")"
  (
    flock 9
    [ -f "$template/velmor-gui.reg" ] && exit 0
    rm -rf "$template"
    mkdir -p "$template"
    export WINEPREFIX=$template
    WINEARCH=$VELMOR_WINE_PRESET wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    [ -f "$WINEPREFIX/system.reg" ] || { echo "wine-gui: no Wine prefix made" >&2; exit 1; }
    wine_gui_settings >"$WINEPREFIX/velmor-gui.reg.new"
    mv "$WINEPREFIX/velmor-gui.reg.new" "$WINEPREFIX/velmor-gui.reg"
  ) 9>"$template.lock"
}

wine_gui_settings() {
  # The dialog fonts replaced by WenQuanYi Micro Hei and the caption and message fonts set to
  # it (Wine's own fonts lack Chinese, and a font that exists is not replaced); windows framed
  # by Wine itself (there is no window manager); no crash dialog to wait on.
  {
    echo 'REGEDIT4'
    echo
    echo '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]'
    for face in "MS Shell Dlg" "MS Shell Dlg 2" "System" "Tahoma"; do
      echo "\"$face\"=\"WenQuanYi Micro Hei\""
    done
    echo
    echo '[HKEY_CURRENT_USER\Control Panel\Desktop\WindowMetrics]'
    for f in CaptionFont:700 SmCaptionFont:700 MenuFont:400 StatusFont:400 MessageFont:400; do
      echo "\"${f%%:*}\"=hex:$(wine_gui_logfont -11 "${f##*:}" "WenQuanYi Micro Hei")"
    done
    echo
    echo '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]'
    echo '"Managed"="N"'
    echo
    echo '[HKEY_CURRENT_USER\Software\Wine\WineDbg]'
    echo '"ShowCrashDialog"=dword:00000000'
  }
}

# This run's prefix: a copy of the template, removed at exit.
wine_gui_prefix() {
  local template="$PWD/build/$VELMOR_WINE_PRESET/wineprefix-gui"
  wine_gui_template "$template"
  WINE_GUI_RUN_PREFIX=$(mktemp -d "$PWD/build/$VELMOR_WINE_PRESET/wineprefix-run.XXXXXX")
  cp -a "$template/." "$WINE_GUI_RUN_PREFIX/"
  export WINEPREFIX=$WINE_GUI_RUN_PREFIX
}

# Runs what follows under the locale: the Wine server is restarted (it reads the locale when
# it starts), and the settings are applied again, since Wine rewrites the font substitutes of
# the dialog fonts whenever the locale changes.
wine_gui_locale() {
  export LANG=$1 LC_ALL=$1
  wineserver -k 2>/dev/null || true
  wine regedit /S "$(winepath -w "$WINEPREFIX/velmor-gui.reg")" >/dev/null 2>&1
}

wine_gui_setup() {
  wine_gui_locales
  trap wine_gui_cleanup EXIT
  wine_gui_display
  wine_gui_prefix
}
