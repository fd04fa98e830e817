#!/usr/bin/env bash
# The demo: builds the release tools, packs an updater with `pak build-updater`, installs a game
# under a throw-away Wine prefix and runs the updater on it twice (answering OK), showing the
# game folder before and after. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh native
cmake --preset release >/dev/null
cmake --build --preset release
pak="$root/build/release/tools/pak"
stub="$root/build/release/velmor-update"

demo=$(mktemp -d "${TMPDIR:-/tmp}/velmor-demo.XXXXXX")
trap 'rm -rf "$demo"' EXIT
export WINEPREFIX="$demo/wineprefix"
export XDG_RUNTIME_DIR="$demo/run"   # where the single-instance lock lives
mkdir -p "$WINEPREFIX/drive_c/windows" "$WINEPREFIX/dosdevices" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
ln -s ../drive_c "$WINEPREFIX/dosdevices/c:"
game="$WINEPREFIX/drive_c/Velmor"
mkdir -p "$game" "$demo/old" "$demo/new"

section() { printf '\n\033[1m== %s ==\033[0m\n' "$*"; }

# An install record: 768 header bytes, list offset, name count, then the list.
install_record() {
  python3 - "$@" <<'EOF'
import struct, sys
out, names = sys.argv[1], [n.encode() for n in sys.argv[2:]]
record = bytearray(b"VELMOR INSTALL".ljust(768, b"\0")) + bytearray(8)
struct.pack_into("<Ii", record, 768, len(record), len(names))
for n in names:
    record += n + b"\0"
open(out, "wb").write(record)
EOF
}

# The game as installed: settings naming its folder (CR LF lines, as Windows writes them),
# the executable, an update pack without markers and the install record.
printf '[INI]\r\nGAMEDIR=C:\\Velmor\r\n' >"$WINEPREFIX/drive_c/windows/VELMOR.INI"
printf 'Velmor game executable, version 1.00\n' >"$game/Velmor.EXE"
printf 'Notes of version 1.00\n' >"$demo/old/Readme.txt"
"$pak" create "$game/Update.PAK" --letters @ >/dev/null
"$pak" add "$game/Update.PAK" "$demo/old/Readme.txt" >/dev/null
install_record "$game/INSTALL.DAT" Data.PAK Music.PAK

# The update: the new executable, and a new update pack carrying its marker.
printf 'Velmor game executable, version 1.01\n' >"$demo/new/Velmor.EXE"
printf 'Update 01 installed\n' >"$demo/new/Update01.txt"
printf 'Notes of version 1.01\n' >"$demo/new/Readme.txt"
"$pak" create "$demo/new/Update.PAK" --letters @ >/dev/null
"$pak" add "$demo/new/Update.PAK" "$demo/new/Readme.txt" "$demo/new/Update01.txt" >/dev/null
updater="$demo/VelmorUpdate.exe"   # the updater finds its payload only under an .exe name
"$pak" build-updater --stub "$stub" --game-exe "$demo/new/Velmor.EXE" \
  --pack "$demo/new/Update.PAK" -o "$updater"

show_game() {
  (cd "$game" && ls -l)
  printf -- '-- Velmor.EXE: %s' "$(cat "$game/Velmor.EXE")"
  printf '\n-- Update.PAK members:\n'
  "$pak" list "$game/Update.PAK"
  printf -- '-- INSTALL.DAT names: '
  python3 - "$game/INSTALL.DAT" <<'EOF'
import struct, sys
data = open(sys.argv[1], "rb").read()
at, count = struct.unpack_from("<Ii", data, 768)
names = data[at:].split(b"\0")[:count]
print(", ".join(n.decode() for n in names), f"({len(data)} bytes)")
EOF
}

section "the updater"
"$pak" info "$updater"
section "game folder before ($game)"
show_game

section "first run, answering OK"
printf 'ok\n' | "$updater"
section "game folder after"
show_game

section "second run, answering OK"
printf 'ok\n' | "$updater"
section "game folder after the second run (unchanged)"
show_game
